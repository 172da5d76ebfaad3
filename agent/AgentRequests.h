#pragma once
// What the startup agent makes of its request file, in plain values: which
// queued entries it may start, and what it does with a file it cannot trust.
// Anyone may write the request file, so every entry is judged against the one
// program the agent serves: Tillvox.exe in the agent's own folder, with the
// arguments that program itself writes.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// A request file larger than this is not read at all (the program writes a few
// hundred bytes per entry); it is emptied like any other.
constexpr size_t AGENT_REQUEST_FILE_MAX_BYTES = 64 * 1024;
// Starts carried out for one batch (and kept while nobody is logged on);
// further good entries are dropped. Tillvox runs once anyway.
constexpr size_t AGENT_MAX_STARTS_PER_BATCH = 8;
// What the agent leaves behind in the request file once it has taken the queue.
constexpr char AGENT_EMPTY_REQUEST_FILE[] = "[Startup]\r\nCount=0\r\n";

// The only argument forms the program writes.
constexpr char AGENT_ARGS_SERVICE[] = "/Service";
constexpr char AGENT_ARGS_SERVICE_MONITOR[] = "/Service /Monitor";

// One [APn] entry as the profile functions would read it.
struct AGENT_REQUEST {
    int nIndex = 0;
    std::string strExePath;
    std::string strCmdLine;
    bool bHasCmdLine = false;
};

// The queue read from the request file: the entries [AP0] .. [AP(Count-1)]
// that exist, in index order, and why anything else was left out.
struct AGENT_QUEUE {
    long long llCount = 0;  // as written, before any bound
    std::vector<AGENT_REQUEST> requests;
    std::vector<std::string> problems;
};

// Reads the request file's bytes as the profile functions read [Startup] Count
// and [APn] ExePath/CmdLine: section and key names without regard to case,
// the first of duplicate sections and keys, blanks around names and values
// trimmed, a value in double quotes unquoted. A file over
// AGENT_REQUEST_FILE_MAX_BYTES or holding zero bytes yields no entries.
AGENT_QUEUE ParseAgentQueue(const std::string& fileBytes, size_t nFileSize);

// The value of Count as GetPrivateProfileIntA would give it: leading blanks,
// an optional sign, decimal digits up to the first other character; no digits
// gives 0. Saturates instead of overflowing.
long long ParseProfileCount(const std::string& text);

// A full Windows path in one spelling per file, for comparison: separators
// made backslashes and doubled ones merged, "." and ".." segments resolved,
// trailing dots and blanks of each name dropped (Windows ignores them), ASCII
// letters lower-cased. Empty when the path is not an absolute drive path
// ("C:\..."), climbs above its root, names a stream (a second colon) or holds
// a character no file name may hold. Short (8.3) names must be expanded by the
// caller before; the pure code cannot know them.
std::string NormalizeWindowsPath(const std::string& path);

enum AGENT_VERDICT {
    VERDICT_START,
    VERDICT_BAD_PATH,       // not a path the agent can compare
    VERDICT_OTHER_PROGRAM,  // a path, but not the Tillvox.exe the agent serves
    VERDICT_BAD_ARGUMENTS,  // not one of the forms the program writes
};

// Whether the agent may start this entry. expandedExePath is the entry's path
// after short names were expanded (or the path itself); allowedExePath the
// agent's own folder + "\Tillvox.exe", expanded the same way.
AGENT_VERDICT JudgeAgentRequest(const AGENT_REQUEST& request, const std::string& expandedExePath,
                                const std::string& allowedExePath);
const char* AgentVerdictText(AGENT_VERDICT verdict);

// The user token the program is started with, chosen from what the console
// session offers. Never the service's own: without a console user the start
// waits until one logs on.
enum AGENT_TOKEN_CHOICE {
    TOKEN_WAIT_FOR_USER,
    TOKEN_USER_OWN,     // a standard user, or no user account control: the program runs with "/Service"
    TOKEN_USER_LINKED,  // an administrator's filtered token: start with its full, linked half
};

// Values of TOKEN_ELEVATION_TYPE.
constexpr int AGENT_ELEVATION_DEFAULT = 1;
constexpr int AGENT_ELEVATION_FULL = 2;
constexpr int AGENT_ELEVATION_LIMITED = 3;

AGENT_TOKEN_CHOICE ChooseAgentToken(bool bHaveConsoleUserToken, int nElevationType, bool bLinkedTokenAvailable);

enum AGENT_START_RESULT {
    AGENT_START_DONE,
    AGENT_START_NO_USER,  // nobody at the console: keep it for the next logon
    AGENT_START_FAILED,   // said in the log, not tried again
};

// Allowed starts not yet carried out: kept while nobody is logged on at the
// console, carried out once when someone is.
class CPendingStarts {
public:
    // Keeps the entries, up to AGENT_MAX_STARTS_PER_BATCH in all; returns how many were dropped.
    size_t Add(const std::vector<AGENT_REQUEST>& requests);
    std::vector<AGENT_REQUEST> TakeAll();
    // Hands the kept entries to start in order, each once; the first that finds no
    // user is kept, with those after it, for the next call.
    void StartAll(const std::function<AGENT_START_RESULT(const AGENT_REQUEST&)>& start);
    bool IsEmpty() const { return m_requests.empty(); }
    size_t Size() const { return m_requests.size(); }

private:
    std::vector<AGENT_REQUEST> m_requests;
};
