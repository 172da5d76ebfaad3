#include "app/OsVersion.h"

#include <windows.h>

static_assert(sizeof(OSVERSIONINFOEXA) == 156 && sizeof(OSVERSIONINFOA) == 148, "version record sizes");

namespace {

bool IsNativeX64()
{
    using PFN_GET_NATIVE_SYSTEM_INFO = void(WINAPI*)(LPSYSTEM_INFO);
    SYSTEM_INFO info{};
    // Only the native call sees through WOW64; it is missing before XP.
    const FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo");
    if (proc != nullptr)
        reinterpret_cast<PFN_GET_NATIVE_SYSTEM_INFO>(reinterpret_cast<void (*)(void)>(proc))(&info);
    else
        GetSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

}  // namespace

OS_VERSION_DATA ReadOsVersionData()
{
    OS_VERSION_DATA data;
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    BOOL bOk = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
    if (!bOk) {
        version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        bOk = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
    }
    if (!bOk)
        return data;
    data.bQueryOk = true;
    data.bNtFamily = (GetVersion() & 0x80000000u) == 0;
    data.nMajor = version.dwMajorVersion;
    data.nMinor = version.dwMinorVersion;
    data.bWorkstation = version.wProductType == VER_NT_WORKSTATION;
    data.wSuiteMask = version.wSuiteMask;
    data.bX64 = IsNativeX64();
    data.bServerR2 = GetSystemMetrics(SM_SERVERR2) != 0;
    return data;
}

int GetOsVersionCode()
{
    return OsVersionCode(ReadOsVersionData());
}
