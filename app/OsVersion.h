#pragma once
// The operating-system version code: one number per Windows release, which the
// program compares with OS_CODE_VISTA to know whether user account control exists.

// What the version query reports, in plain values.
struct OS_VERSION_DATA {
    bool bQueryOk = false;          // the version query succeeded
    bool bNtFamily = true;          // false on the Windows 9x family and Win32s
    unsigned long nMajor = 0;
    unsigned long nMinor = 0;
    bool bWorkstation = false;      // product type workstation (false: server or domain controller)
    unsigned short wSuiteMask = 0;
    bool bX64 = false;              // native processor architecture is x64
    bool bServerR2 = false;         // GetSystemMetrics(SM_SERVERR2) is non-zero
};

constexpr unsigned short OS_SUITE_WH_SERVER = 0x8000;  // VER_SUITE_WH_SERVER
constexpr int OS_CODE_VISTA = 13;                      // this code and above: Vista or later

int OsVersionCode(const OS_VERSION_DATA& data);

// Windows only (OsVersion_win.cpp): the running system's data and its code.
OS_VERSION_DATA ReadOsVersionData();
int GetOsVersionCode();
