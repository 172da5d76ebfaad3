#include "agent/AgentService_win.h"

#include "agent/AgentLog_win.h"
#include "agent/AgentRequests.h"
#include "agent/RequestFile_win.h"
#include "agent/UserStart_win.h"
#include "app/Elevation.h"
#include "base/WinHandle.h"

#include <windows.h>
#include <shlobj.h>
#include <wtsapi32.h>

#include <cstring>

namespace {

// A hostile holder of the mutex must not stall the agent: it tries again later.
const DWORD MUTEX_WAIT_MS = 10000;
const DWORD RETRY_MS = 30000;

std::string ModuleFolder()
{
    char path[MAX_PATH] = "";
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n < MAX_PATH ? n : 0);
    const size_t slash = folder.find_last_of('\\');
    return slash == std::string::npos ? folder : folder.substr(0, slash);
}

// Expands short names where the file exists; the path itself otherwise.
std::string LongPath(const std::string& path)
{
    char buffer[1024] = "";
    const DWORD n = GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : path;
}

std::string RequestFolder()
{
    char folder[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_COMMON_APPDATA, FALSE);
    std::string result = folder;
    if (result.empty() || result.back() != '\\')
        result += '\\';
    return result + "Orvane\\";
}

class CAgent {
public:
    CAgent()
        : m_strFolder(ModuleFolder()), m_strAllowedExe(LongPath(m_strFolder + "\\Tillvox.exe")),
          m_strRequestFile(RequestFolder() + STARTUP_AGENT_REQUEST_FILE), m_log(m_strFolder)
    {
    }

    // The service's status handle is set before Run; the handler may call Stop and
    // OnSessionChange from the dispatcher's thread at any time after.
    SERVICE_STATUS_HANDLE m_hStatus = nullptr;
    CHandle m_hStop{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    CHandle m_hSessionChange{CreateEventA(nullptr, FALSE, FALSE, nullptr)};

    void Report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHint = 0)
    {
        SERVICE_STATUS status{};
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        status.dwControlsAccepted =
            state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_SESSIONCHANGE : 0;
        status.dwWin32ExitCode = exitCode;
        status.dwCheckPoint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : ++m_dwCheckPoint;
        status.dwWaitHint = waitHint;
        SetServiceStatus(m_hStatus, &status);
    }

    void Run()
    {
        Report(SERVICE_START_PENDING, NO_ERROR, 5000);
        // Created here with an open access list, so that the program may queue
        // from any account as soon as the service reports running.
        CHandle hMutex(OpenOrCreateGlobalMutex(nullptr, FALSE, STARTUP_AGENT_MUTEX, true));
        CHandle hEvent(OpenOrCreateGlobalEvent(nullptr, FALSE, FALSE, STARTUP_AGENT_EVENT, true));
        if (!hMutex.IsValid() || !hEvent.IsValid() || !m_hStop.IsValid() || !m_hSessionChange.IsValid()) {
            const DWORD error = GetLastError();
            m_log.Write("cannot make the agent's mutex and event, error %lu", error);
            Report(SERVICE_STOPPED, error);
            return;
        }
        m_log.Write("started; serves %s", m_strAllowedExe.c_str());
        Report(SERVICE_RUNNING);
        // Requests queued while the agent restarted are served too.
        bool bTakeQueue = true;
        for (;;) {
            if (bTakeQueue)
                bTakeQueue = !TakeQueue(hMutex.Get());
            if (!m_pending.IsEmpty())
                StartPending();
            const HANDLE handles[] = {m_hStop.Get(), hEvent.Get(), m_hSessionChange.Get()};
            const DWORD wait = WaitForMultipleObjects(3, handles, FALSE,
                                                      bTakeQueue || !m_pending.IsEmpty() ? RETRY_MS : INFINITE);
            if (wait == WAIT_OBJECT_0)
                break;
            if (wait == WAIT_OBJECT_0 + 1 || wait == WAIT_TIMEOUT)
                bTakeQueue = true;
            if (wait == WAIT_FAILED) {
                m_log.Write("wait failed, error %lu", GetLastError());
                Sleep(1000);
            }
        }
        if (!m_pending.IsEmpty())
            m_log.Write("stopped with %u start(s) still waiting for a user", static_cast<unsigned>(m_pending.Size()));
        m_log.Write("stopped");
        Report(SERVICE_STOPPED);
    }

    void Stop()
    {
        Report(SERVICE_STOP_PENDING, NO_ERROR, 5000);
        SetEvent(m_hStop.Get());
    }

    void OnSessionChange() { SetEvent(m_hSessionChange.Get()); }

private:
    // False when the mutex could not be had (the queue stays for the next try).
    bool TakeQueue(HANDLE hMutex)
    {
        // A stop request ends the wait too; an abandoned mutex is held once, as taken.
        const HANDLE handles[] = {hMutex, m_hStop.Get()};
        const DWORD wait = WaitForMultipleObjects(2, handles, FALSE, MUTEX_WAIT_MS);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED_0) {
            if (wait != WAIT_OBJECT_0 + 1)
                m_log.Write("request mutex not acquired within %lu ms; trying again later", MUTEX_WAIT_MS);
            return false;
        }
        const TAKEN_REQUEST_FILE taken = TakeRequestFile(m_strRequestFile);
        ReleaseMutex(hMutex);
        if (!taken.problem.empty())
            m_log.Write("%s", taken.problem.c_str());
        if (!taken.bPresent)
            return true;
        const AGENT_QUEUE queue = ParseAgentQueue(taken.bytes, taken.nSize);
        for (const std::string& problem : queue.problems)
            m_log.Write("request file: %s", problem.c_str());
        std::vector<AGENT_REQUEST> allowed;
        for (const AGENT_REQUEST& request : queue.requests) {
            const std::string normal = NormalizeWindowsPath(request.strExePath);
            const AGENT_VERDICT verdict =
                JudgeAgentRequest(request, normal.empty() ? request.strExePath : LongPath(normal), m_strAllowedExe);
            if (verdict != VERDICT_START) {
                m_log.Write("AP%d dropped (%s): \"%s\" \"%s\"", request.nIndex, AgentVerdictText(verdict),
                            request.strExePath.c_str(), request.strCmdLine.c_str());
                continue;
            }
            if (allowed.size() == AGENT_MAX_STARTS_PER_BATCH) {
                m_log.Write("AP%d dropped: more than %u starts at once", request.nIndex,
                            static_cast<unsigned>(AGENT_MAX_STARTS_PER_BATCH));
                continue;
            }
            allowed.push_back(request);
        }
        m_pending.Add(allowed);
        return true;
    }

    void StartPending()
    {
        m_pending.StartAll([this](const AGENT_REQUEST& request) {
            const USER_START start = StartForConsoleUser(m_strAllowedExe, request.strCmdLine, m_strFolder);
            if (start.result == USER_START_NO_USER) {
                m_log.Write("AP%d \"%s\" waits: no user at the console (error %lu)", request.nIndex,
                            request.strCmdLine.c_str(), start.dwError);
                return AGENT_START_NO_USER;
            }
            if (start.result == USER_START_DONE) {
                m_log.Write("AP%d started: \"%s\" %s, process %lu, session %lu, with %s", request.nIndex,
                            m_strAllowedExe.c_str(), request.strCmdLine.c_str(), start.dwProcessId, start.dwSession,
                            start.strToken.c_str());
                return AGENT_START_DONE;
            }
            m_log.Write("AP%d not started: \"%s\" %s, error %lu", request.nIndex, m_strAllowedExe.c_str(),
                        request.strCmdLine.c_str(), start.dwError);
            return AGENT_START_FAILED;
        });
    }

    DWORD m_dwCheckPoint = 0;
    std::string m_strFolder, m_strAllowedExe, m_strRequestFile;
    CAgentLog m_log;
    CPendingStarts m_pending;
};

CAgent* g_pAgent = nullptr;

DWORD WINAPI ServiceControl(DWORD control, DWORD eventType, void*, void*)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        g_pAgent->Stop();
        return NO_ERROR;
    case SERVICE_CONTROL_SESSIONCHANGE:
        if (eventType == WTS_CONSOLE_CONNECT || eventType == WTS_SESSION_LOGON)
            g_pAgent->OnSessionChange();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPSTR*)
{
    // Lives as long as the process: the handler may still be called after Run.
    static CAgent s_agent;
    g_pAgent = &s_agent;
    s_agent.m_hStatus = RegisterServiceCtrlHandlerExA(STARTUP_AGENT_SERVICE, ServiceControl, nullptr);
    if (!s_agent.m_hStatus)
        return;
    s_agent.Run();
}

}  // namespace

bool RunAgentService()
{
    char name[sizeof STARTUP_AGENT_SERVICE];
    memcpy(name, STARTUP_AGENT_SERVICE, sizeof name);
    const SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) != FALSE;
}
