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
constexpr int START_FAILED = 3;  // neither queued nor started: the shell's start failed or was declined

// How long a request waits for the agent's mutex. Any account may hold it (it
// has an open access list): a start must not wait for it for ever.
constexpr unsigned AGENT_MUTEX_WAIT_MS = 5000;

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

// Starts a program through the shell: verb "open" or "runas". False when it
// was not started (the user declined the prompt, or the shell failed).
using START_DIRECT_FN = std::function<bool(const char* verb, const std::string& path, const std::string& args)>;
// Says what went wrong with a request, for the program's log.
using START_LOG_FN = std::function<void(const std::string& strText)>;

// Everything RequestStart takes from the system, replaceable so that a request
// can be made without reaching the real agent or starting a program.
struct START_REQUEST_ENV {
    std::string strAgentFolder;  // ends in a backslash; holds the request file
    int nOsVersionCode = 0;
    int nServiceState = SVC_STATE_NOT_INSTALLED;
    std::string strMutexName;    // opened under "Global\"
    std::string strEventName;
    unsigned nMutexWaitMs = AGENT_MUTEX_WAIT_MS;
    START_DIRECT_FN fnStartDirect;
    START_LOG_FN fnLog;          // may be empty
};

// The running system: common application data + "Orvane\", the real version
// code and agent service state, the agent's names and ShellExecuteA.
START_REQUEST_ENV DefaultStartRequestEnv();

// Asks for a start of path with args: START_NO_PATH when path is empty,
// START_QUEUED when the request was queued for the running agent and its event
// signalled, START_DIRECT when the program was started through the shell,
// START_FAILED when that start failed. A request the agent cannot take (its
// mutex not had within nMutexWaitMs, the request file not written, no event)
// is said through fnLog and started through the shell instead; the agent's
// event is signalled only for a request written whole.
int RequestStart(const std::string& path, const std::string& args);
int RequestStart(const std::string& path, const std::string& args, const START_REQUEST_ENV& env);
