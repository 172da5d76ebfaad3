#include "app/Elevation.h"

#include "app/CommandTail.h"
#include "app/OsVersion.h"
#include "base/Trace.h"
#include "base/WinHandle.h"
#include "base/IniProfile.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <memory>
#include <type_traits>

namespace {

struct CLocalFree {
    void operator()(void* p) const { LocalFree(p); }
};
using CLocalSecurityDescriptor = std::unique_ptr<void, CLocalFree>;

struct CCloseServiceHandle {
    void operator()(SC_HANDLE h) const { CloseServiceHandle(h); }
};
using CServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, CCloseServiceHandle>;

// A descriptor whose access list is null: every account gets every access.
CLocalSecurityDescriptor NewOpenSecurityDescriptor()
{
    CLocalSecurityDescriptor sd(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
    if (!sd || !InitializeSecurityDescriptor(sd.get(), SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(sd.get(), TRUE, nullptr, FALSE))
        return nullptr;
    return sd;
}

SECURITY_ATTRIBUTES OpenAccessAttributes(const CLocalSecurityDescriptor& sd, LPSECURITY_ATTRIBUTES pSecurity)
{
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = sd.get();
    attributes.bInheritHandle = pSecurity != nullptr ? pSecurity->bInheritHandle : FALSE;
    return attributes;
}

std::string GlobalName(const char* name)
{
    return std::string("Global\\") + name;
}

bool ShellStart(const char* verb, const std::string& path, const std::string& args)
{
    // Above 32 means started; a declined elevation prompt gives an error.
    const HINSTANCE hResult = ShellExecuteA(nullptr, verb, path.c_str(), args.c_str(), nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(hResult) > 32;
}

std::string CommonAppDataFolder()
{
    char folder[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_COMMON_APPDATA, FALSE);
    std::string result = folder;
    if (result.empty() || result.back() != '\\')
        result += '\\';
    return result;
}

}  // namespace

const std::string& GetCommandTail(bool& bElevated)
{
    static const std::string s_strTail = CommandTail(GetCommandLineA());
    bElevated = IsProcessElevated(nullptr);
    return s_strTail;
}

bool IsProcessElevated(HANDLE hToken)
{
    return IsProcessElevated(hToken, GetOsVersionCode());
}

bool IsProcessElevated(HANDLE hToken, int nOsVersionCode)
{
    if (nOsVersionCode < OS_CODE_VISTA)
        return true;
    CHandle hOwnToken;
    if (hToken == nullptr) {
        HANDLE h = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &h)) {
            Trace("[Tillvox] OpenProcessToken failed, error %lu", GetLastError());
            return false;
        }
        hOwnToken.Reset(h);
        hToken = h;
    }
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (!GetTokenInformation(hToken, TokenElevationType, &type, sizeof(type), &size)) {
        Trace("[Tillvox] token elevation type query failed, error %lu", GetLastError());
        return false;
    }
    return type == TokenElevationTypeFull;
}

int ServiceStateCode(DWORD dwCurrentState)
{
    switch (dwCurrentState) {
    case SERVICE_STOPPED:
        return SVC_STATE_STOPPED;
    case SERVICE_RUNNING:
        return SVC_STATE_RUNNING;
    case SERVICE_PAUSED:
        return SVC_STATE_PAUSED;
    default:
        return SVC_STATE_OTHER;
    }
}

int QueryServiceState(const char* name)
{
    CServiceHandle hManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!hManager)
        return SVC_STATE_NO_MANAGER;
    CServiceHandle hService(OpenServiceA(hManager.get(), name, SERVICE_QUERY_STATUS));
    if (!hService)
        return SVC_STATE_NOT_INSTALLED;
    SERVICE_STATUS status{};
    QueryServiceStatus(hService.get(), &status);
    return ServiceStateCode(status.dwCurrentState);
}

HANDLE OpenOrCreateGlobalMutex(LPSECURITY_ATTRIBUTES pSecurity, BOOL bInitialOwner, const char* name, bool bGlobal)
{
    if (name == nullptr || !bGlobal)
        return CreateMutexA(pSecurity, bInitialOwner, name);
    const std::string fullName = GlobalName(name);
    HANDLE h = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, fullName.c_str());
    if (h != nullptr)
        return h;
    const CLocalSecurityDescriptor sd = NewOpenSecurityDescriptor();
    SECURITY_ATTRIBUTES attributes = OpenAccessAttributes(sd, pSecurity);
    return CreateMutexA(sd ? &attributes : pSecurity, bInitialOwner, fullName.c_str());
}

HANDLE OpenOrCreateGlobalEvent(LPSECURITY_ATTRIBUTES pSecurity, BOOL bManualReset, BOOL bInitialState,
                               const char* name, bool bGlobal)
{
    if (name == nullptr || !bGlobal)
        return CreateEventA(pSecurity, bManualReset, bInitialState, name);
    const std::string fullName = GlobalName(name);
    HANDLE h = OpenEventA(EVENT_ALL_ACCESS, FALSE, fullName.c_str());
    if (h != nullptr)
        return h;
    const CLocalSecurityDescriptor sd = NewOpenSecurityDescriptor();
    SECURITY_ATTRIBUTES attributes = OpenAccessAttributes(sd, pSecurity);
    return CreateEventA(sd ? &attributes : pSecurity, bManualReset, bInitialState, fullName.c_str());
}

bool WaitMutex(HANDLE hMutex, DWORD ms)
{
    const DWORD result = WaitForSingleObject(hMutex, ms);
    if (result == WAIT_OBJECT_0)
        return true;
    if (result == WAIT_ABANDONED) {
        // The abandoned wait already made this thread the owner; the second
        // wait counts once more, so one release leaves it held exactly once.
        if (WaitForSingleObject(hMutex, ms) == WAIT_OBJECT_0) {
            ReleaseMutex(hMutex);
            return true;
        }
    }
    return false;
}

START_REQUEST_ENV DefaultStartRequestEnv()
{
    START_REQUEST_ENV env;
    env.strAgentFolder = CommonAppDataFolder() + "Orvane\\";
    env.nOsVersionCode = GetOsVersionCode();
    env.nServiceState = QueryServiceState(STARTUP_AGENT_SERVICE);
    env.strMutexName = STARTUP_AGENT_MUTEX;
    env.strEventName = STARTUP_AGENT_EVENT;
    env.fnStartDirect = ShellStart;
    return env;
}

int RequestStart(const std::string& path, const std::string& args)
{
    if (path.empty())
        return START_NO_PATH;
    return RequestStart(path, args, DefaultStartRequestEnv());
}

namespace {

// Queues the request for the running agent and wakes it; false (said through
// the log) when the agent cannot take it.
bool QueueForAgent(const std::string& path, const std::string& args, const START_REQUEST_ENV& env)
{
    auto log = [&env](const std::string& strText) {
        Trace("[Tillvox] %s", strText.c_str());
        if (env.fnLog)
            env.fnLog(strText);
    };
    // Never closed: the named object then outlives this call for as long as
    // the requesting process lives, whether or not the agent holds it yet.
    HANDLE hMutex = OpenOrCreateGlobalMutex(nullptr, FALSE, env.strMutexName.c_str(), true);
    if (!PathFileExistsA(env.strAgentFolder.c_str()))
        SHCreateDirectoryExA(nullptr, env.strAgentFolder.c_str(), nullptr);
    if (hMutex == nullptr) {
        log("the startup agent's lock " + env.strMutexName + " cannot be opened (error " +
            std::to_string(GetLastError()) + "): the request is not queued");
        return false;
    }
    if (!WaitMutex(hMutex, env.nMutexWaitMs)) {
        log("the startup agent's lock " + env.strMutexName + " was not free within " +
            std::to_string(env.nMutexWaitMs) + " ms (another program holds it): the request is not queued");
        return false;
    }
    const std::string strFile = env.strAgentFolder + STARTUP_AGENT_REQUEST_FILE;
    CIniProfile requestFile(strFile);
    const int nIndex = WriteStartRequest(requestFile, path, args);
    const DWORD dwWriteError = GetLastError();
    ReleaseMutex(hMutex);
    if (nIndex < 0) {
        log("the start request could not be written to " + strFile + " (error " + std::to_string(dwWriteError) +
            "): the request is not queued");
        return false;
    }
    CHandle hEvent(OpenOrCreateGlobalEvent(nullptr, FALSE, FALSE, env.strEventName.c_str(), true));
    if (!hEvent.IsValid()) {
        log("the startup agent's event " + env.strEventName + " is not available (error " +
            std::to_string(GetLastError()) + "): the agent is not woken for the request");
        return false;
    }
    SetEvent(hEvent.Get());
    Trace("[Tillvox] start request AP%d queued for %s", nIndex, path.c_str());
    return true;
}

}  // namespace

int RequestStart(const std::string& path, const std::string& args, const START_REQUEST_ENV& env)
{
    const char* verb = env.nOsVersionCode < OS_CODE_VISTA ? "open" : "runas";
    if (path.empty())
        return START_NO_PATH;
    if (env.nServiceState == SVC_STATE_RUNNING) {
        if (QueueForAgent(path, args, env))
            return START_QUEUED;
        if (env.fnLog)
            env.fnLog(std::string("the startup agent could not take the request: the shell is asked to start ") +
                      path + " with \"" + verb + "\" instead");
    }
    Trace("[Tillvox] starting %s directly with \"%s\"", path.c_str(), verb);
    if (env.fnStartDirect && env.fnStartDirect(verb, path, args))
        return START_DIRECT;
    if (env.fnLog)
        env.fnLog(std::string("starting ") + path + " with \"" + verb + "\" failed or was declined");
    return START_FAILED;
}
