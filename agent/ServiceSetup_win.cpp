#include "agent/ServiceSetup_win.h"

#include "app/Elevation.h"

#include <windows.h>

#include <memory>
#include <type_traits>

namespace {

const DWORD STATE_WAIT_MS = 30000;

struct CCloseServiceHandle {
    void operator()(SC_HANDLE h) const { CloseServiceHandle(h); }
};
using CServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, CCloseServiceHandle>;

std::string Failed(const char* what)
{
    return std::string(what) + " failed, error " + std::to_string(GetLastError());
}

// bStoppedEndsIt: a stopped service is not waited for when another state is wanted.
bool WaitForState(SC_HANDLE hService, DWORD wanted, std::string& message, bool bStoppedEndsIt = true)
{
    SERVICE_STATUS status{};
    for (DWORD waited = 0;; waited += 100) {
        if (!QueryServiceStatus(hService, &status)) {
            message = Failed("QueryServiceStatus");
            return false;
        }
        if (status.dwCurrentState == wanted)
            return true;
        if (bStoppedEndsIt && wanted == SERVICE_RUNNING && status.dwCurrentState == SERVICE_STOPPED && waited > 0) {
            message = "the service stopped while starting, exit code " + std::to_string(status.dwWin32ExitCode);
            return false;
        }
        if (waited >= STATE_WAIT_MS) {
            message = "the service did not reach state " + std::to_string(wanted) + " within " +
                      std::to_string(STATE_WAIT_MS) + " ms (state " + std::to_string(status.dwCurrentState) + ")";
            return false;
        }
        Sleep(100);
    }
}

bool StartAndWait(SC_HANDLE hService, std::string& message)
{
    if (!StartServiceA(hService, 0, nullptr)) {
        const DWORD error = GetLastError();
        // 1053: the service did not answer the manager in time. A first start
        // can be slower than the manager waits (a 32-bit service on a 64-bit
        // system, a busy disk); whether it runs shows in its state a moment
        // later, which is waited for, stopped states included.
        if (error == ERROR_SERVICE_REQUEST_TIMEOUT)
            return WaitForState(hService, SERVICE_RUNNING, message, false);
        if (error != ERROR_SERVICE_ALREADY_RUNNING) {
            message = Failed("StartService");
            return false;
        }
    }
    return WaitForState(hService, SERVICE_RUNNING, message);
}

bool StopAndWait(SC_HANDLE hService, std::string& message)
{
    SERVICE_STATUS status{};
    if (!ControlService(hService, SERVICE_CONTROL_STOP, &status)) {
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_NOT_ACTIVE && error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) {
            message = Failed("ControlService(stop)");
            return false;
        }
    }
    return WaitForState(hService, SERVICE_STOPPED, message);
}

}  // namespace

bool InstallAgentService(const std::string& exePath, const std::wstring& displayName, const std::wstring& description,
                         std::string& message)
{
    CServiceHandle hManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!hManager) {
        message = Failed("OpenSCManager");
        return false;
    }
    const std::string binary = "\"" + exePath + "\"";
    CServiceHandle hService(OpenServiceA(hManager.get(), STARTUP_AGENT_SERVICE, SERVICE_ALL_ACCESS));
    if (hService) {
        if (!ChangeServiceConfigA(hService.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                  binary.c_str(), nullptr, nullptr, nullptr, "LocalSystem", "", nullptr)) {
            message = Failed("ChangeServiceConfig");
            return false;
        }
    } else {
        hService.reset(CreateServiceA(hManager.get(), STARTUP_AGENT_SERVICE, STARTUP_AGENT_SERVICE, SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                      binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        if (!hService) {
            message = Failed("CreateService");
            return false;
        }
    }
    if (!ChangeServiceConfigW(hService.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, displayName.c_str())) {
        message = Failed("ChangeServiceConfig(display name)");
        return false;
    }
    std::wstring text = description;
    SERVICE_DESCRIPTIONW info{&text[0]};
    if (!ChangeServiceConfig2W(hService.get(), SERVICE_CONFIG_DESCRIPTION, &info)) {
        message = Failed("ChangeServiceConfig2(description)");
        return false;
    }
    return StartAndWait(hService.get(), message);
}

bool StartAgentService(std::string& message)
{
    CServiceHandle hManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle hService(hManager ? OpenServiceA(hManager.get(), STARTUP_AGENT_SERVICE,
                                                    SERVICE_START | SERVICE_QUERY_STATUS)
                                     : nullptr);
    if (!hService) {
        message = Failed("OpenService");
        return false;
    }
    return StartAndWait(hService.get(), message);
}

bool StopAgentService(std::string& message)
{
    CServiceHandle hManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!hManager) {
        message = Failed("OpenSCManager");
        return false;
    }
    CServiceHandle hService(OpenServiceA(hManager.get(), STARTUP_AGENT_SERVICE, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!hService)
        return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    return StopAndWait(hService.get(), message);
}

bool UninstallAgentService(std::string& message)
{
    CServiceHandle hManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!hManager) {
        message = Failed("OpenSCManager");
        return false;
    }
    CServiceHandle hService(OpenServiceA(hManager.get(), STARTUP_AGENT_SERVICE, SERVICE_ALL_ACCESS));
    if (!hService) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST)
            return true;
        message = Failed("OpenService");
        return false;
    }
    if (!StopAndWait(hService.get(), message))
        return false;
    if (!DeleteService(hService.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
        message = Failed("DeleteService");
        return false;
    }
    hService.reset();
    for (DWORD waited = 0; waited < STATE_WAIT_MS; waited += 100) {
        CServiceHandle hStill(OpenServiceA(hManager.get(), STARTUP_AGENT_SERVICE, SERVICE_QUERY_STATUS));
        if (!hStill)
            return true;
        Sleep(100);
    }
    message = "the service is still registered after " + std::to_string(STATE_WAIT_MS) + " ms";
    return false;
}
