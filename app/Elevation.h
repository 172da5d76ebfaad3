#pragma once
// The elevation test and the request for an elevated relaunch, handed to the
// startup agent service through its request file, global mutex and event, or
// made directly through the shell when the agent cannot take it.
#include <windows.h>

#include <functional>
#include <string>

constexpr char STARTUP_AGENT_SERVICE[] = "OrvaneStartupAgent";
constexpr char STARTUP_AGENT_MUTEX[] = "OrvaneMutex_StartupAgent_StartupIni";
constexpr char STARTUP_AGENT_EVENT[] = "OrvaneeEvent_StartupAgent_CreateProcess";
constexpr char STARTUP_AGENT_REQUEST_FILE[] = "OrvaneStartupAgent.ini";

// Service status codes of QueryServiceState.
constexpr int SVC_STATE_NOT_INSTALLED = 0;
constexpr int SVC_STATE_STOPPED = 1;
constexpr int SVC_STATE_RUNNING = 2;
constexpr int SVC_STATE_PAUSED = 3;
constexpr int SVC_STATE_OTHER = 4;
constexpr int SVC_STATE_NO_MANAGER = 5;

// Results of RequestStart.
constexpr int START_NO_PATH = 0;
constexpr int START_QUEUED = 1;
constexpr int START_DIRECT = 2;

// The process's arguments (a process-wide copy, taken on the first call) and,
// through bElevated, IsProcessElevated(nullptr).
const std::string& GetCommandTail(bool& bElevated);

// True when the system has no user account control (version code below
// OS_CODE_VISTA) or the token's elevation type is full. hToken null: the
// current process's token, opened and closed inside.
bool IsProcessElevated(HANDLE hToken);
bool IsProcessElevated(HANDLE hToken, int nOsVersionCode);

// SVC_STATE_* of the named service on the local machine.
int QueryServiceState(const char* name);
// SVC_STATE_* for a SERVICE_STATUS dwCurrentState.
int ServiceStateCode(DWORD dwCurrentState);

// With a name and bGlobal: opens "Global\<name>" with full access, else creates
// it with an open (null) access list so that every account may use it.
// Otherwise simply creates the object with the given arguments. Null on failure.
HANDLE OpenOrCreateGlobalMutex(LPSECURITY_ATTRIBUTES pSecurity, BOOL bInitialOwner, const char* name, bool bGlobal);
HANDLE OpenOrCreateGlobalEvent(LPSECURITY_ATTRIBUTES pSecurity, BOOL bManualReset, BOOL bInitialState,
                               const char* name, bool bGlobal);

// True when the mutex was acquired within ms milliseconds; a mutex abandoned by
// a thread that ended while owning it counts as acquired, and is held once.
bool WaitMutex(HANDLE hMutex, DWORD ms);

// Starts a program through the shell: verb "open" or "runas".
using START_DIRECT_FN = std::function<void(const char* verb, const std::string& path, const std::string& args)>;

// Everything RequestStart takes from the system, replaceable so that a request
// can be made without reaching the real agent or starting a program.
struct START_REQUEST_ENV {
    std::string strAgentFolder;  // ends in a backslash; holds the request file
    int nOsVersionCode = 0;
    int nServiceState = SVC_STATE_NOT_INSTALLED;
    std::string strMutexName;    // opened under "Global\"
    std::string strEventName;
    START_DIRECT_FN fnStartDirect;
};

// The running system: common application data + "Orvane\", the real version
// code and agent service state, the agent's names and ShellExecuteA.
START_REQUEST_ENV DefaultStartRequestEnv();

// Asks for a start of path with args: START_NO_PATH when path is empty,
// START_QUEUED when the request was queued for the running agent and its event
// signalled, START_DIRECT when the program was started through the shell.
int RequestStart(const std::string& path, const std::string& args);
int RequestStart(const std::string& path, const std::string& args, const START_REQUEST_ENV& env);
