// Elevation test and start requests against a test agent: a thread with its own
// uniquely named global mutex and event, so that a real agent never sees them.
#include "app/CommandTail.h"
#include "app/Elevation.h"
#include "app/OsVersion.h"
#include "base/WinHandle.h"
#include "base/IniProfile.h"
#include "tests/support/Process.h"
#include "tests/support/TempFolder.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD AGENT_WAIT_MS = 20000;  // a safety bound only; the test passes long before
const std::string EXE = "C:\\Program Files\\Tillvox\\Tillvox.exe";

std::string UniqueName(const char* what)
{
    static std::atomic<int> counter{0};
    return "TillvoxElevationTest_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++) +
           "_" + what;
}

HANDLE NewGlobalMutex(const std::string& name)
{
    return CreateMutexA(nullptr, FALSE, ("Global\\" + name).c_str());
}

HANDLE NewGlobalEvent(const std::string& name)
{
    return CreateEventA(nullptr, FALSE, FALSE, ("Global\\" + name).c_str());
}

bool IsSignalled(HANDLE h)
{
    return WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
}

// True when a thread other than the caller can take the mutex at once; it gives it back.
bool OtherThreadCanTake(HANDLE hMutex)
{
    bool bTaken = false;
    std::thread([&] {
        bTaken = WaitForSingleObject(hMutex, 0) == WAIT_OBJECT_0;
        if (bTaken)
            ReleaseMutex(hMutex);
    }).join();
    return bTaken;
}

// Present but null: the open access list, as opposed to none given at all.
bool HasNullDacl(HANDLE hObject)
{
    PSECURITY_DESCRIPTOR pSd = nullptr;
    if (GetSecurityInfo(hObject, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                        &pSd) != ERROR_SUCCESS)
        return false;
    BOOL bPresent = FALSE, bDefaulted = FALSE;
    PACL pDacl = nullptr;
    const bool bNull = GetSecurityDescriptorDacl(pSd, &bPresent, &pDacl, &bDefaulted) && bPresent && !pDacl;
    LocalFree(pSd);
    return bNull;
}

struct START_CALL {
    std::string strVerb, strPath, strArgs;
    bool operator==(const START_CALL& o) const
    {
        return strVerb == o.strVerb && strPath == o.strPath && strArgs == o.strArgs;
    }
};

std::ostream& operator<<(std::ostream& out, const START_CALL& c)
{
    return out << c.strVerb << " [" << c.strPath << "] [" << c.strArgs << "]";
}

// A request environment over a temporary agent folder that records direct
// starts (which succeed unless bShellStarts is false) and what it logs.
struct CRequestBench {
    CTempFolder temp;
    std::vector<START_CALL> calls;
    std::vector<std::string> logged;
    bool bShellStarts = true;
    START_REQUEST_ENV env;

    explicit CRequestBench(int nServiceState = SVC_STATE_RUNNING, int nOsVersionCode = 17)
    {
        env.strAgentFolder = temp.Path() + "Orvane\\";
        env.nOsVersionCode = nOsVersionCode;
        env.nServiceState = nServiceState;
        env.strMutexName = UniqueName("mutex");
        env.strEventName = UniqueName("event");
        env.fnStartDirect = [this](const char* verb, const std::string& path, const std::string& args) {
            calls.push_back({verb, path, args});
            return bShellStarts;
        };
        env.fnLog = [this](const std::string& strText) { logged.push_back(strText); };
    }
    // True when a logged line contains text.
    bool Logged(const std::string& text) const
    {
        for (const std::string& line : logged)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }
    std::string RequestFile() const { return env.strAgentFolder + "OrvaneStartupAgent.ini"; }
    bool AgentFolderExists() const { return PathFileExistsA(env.strAgentFolder.c_str()) != FALSE; }
    void SeedRequestFile(const std::string& content) const
    {
        CreateDirectoryA(env.strAgentFolder.c_str(), nullptr);
        WriteWholeFile(RequestFile(), content);
    }
};

// Stands in for the startup agent: owns the event and mutex like the real one,
// and on the event reads the newest entry while holding the mutex.
class CTestAgent {
public:
    explicit CTestAgent(const CRequestBench& bench)
        : m_hMutex(NewGlobalMutex(bench.env.strMutexName)), m_hEvent(NewGlobalEvent(bench.env.strEventName)),
          m_strFile(bench.RequestFile())
    {
        m_thread = std::thread([this] { Run(); });
    }
    ~CTestAgent() { Join(); }
    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    bool IsReady() const { return m_hMutex.IsValid() && m_hEvent.IsValid(); }
    HANDLE Mutex() const { return m_hMutex.Get(); }

    bool m_bWoke = false;
    int m_nCount = -1;
    std::string m_strExePath, m_strCmdLine, m_strFileText;

private:
    void Run()
    {
        if (WaitForSingleObject(m_hEvent.Get(), AGENT_WAIT_MS) != WAIT_OBJECT_0)
            return;
        m_bWoke = true;
        if (WaitForSingleObject(m_hMutex.Get(), AGENT_WAIT_MS) != WAIT_OBJECT_0)
            return;
        CIniProfile file(m_strFile);
        m_nCount = file.GetInt("Startup", "Count", -1);
        const std::string section = "AP" + std::to_string(m_nCount - 1);
        m_strExePath = file.GetString(section, "ExePath", "<none>", 1024);
        m_strCmdLine = file.GetString(section, "CmdLine", "<none>", 1024);
        m_strFileText = ReadWholeFile(m_strFile);
        ReleaseMutex(m_hMutex.Get());
    }

    CHandle m_hMutex, m_hEvent;
    std::string m_strFile;
    std::thread m_thread;
};

// Set in the environment of a copy of this program that is to report its
// command tail and elevation into the file it names, and run no test.
constexpr char TAIL_REPORT_VARIABLE[] = "TILLVOX_TEST_TAIL_REPORT";

[[maybe_unused]] const bool s_bTailReported = [] {
    const std::string file = EnvironmentValue(TAIL_REPORT_VARIABLE);
    if (file.empty())
        return false;
    bool bElevated = false;
    const std::string& tail = GetCommandTail(bElevated);
    bool bAgain = !bElevated;
    const bool bKept = &GetCommandTail(bAgain) == &tail && bAgain == bElevated;
    WriteWholeFile(file, "[" + tail + "] " + (bElevated ? "elevated" : "not elevated") + (bKept ? ", kept" : ", changed"));
    ExitProcess(0);
}();

// The system version as ntdll tells it, asked without the program's code. The
// test prefix reports a Windows 7 workstation.
struct PREFIX_VERSION {
    unsigned long nMajor = 0, nMinor = 0;
    bool bX64 = false;
    bool IsWindows7() const { return nMajor == 6 && nMinor == 1; }
    int Windows7Code() const { return bX64 ? 17 : 16; }
};

PREFIX_VERSION ReadPrefixVersion()
{
    PREFIX_VERSION v;
    RTL_OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    using RTL_GET_VERSION = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    const auto pfnRtlGetVersion = reinterpret_cast<RTL_GET_VERSION>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    if (pfnRtlGetVersion && pfnRtlGetVersion(&info) == 0) {
        v.nMajor = info.dwMajorVersion;
        v.nMinor = info.dwMinorVersion;
    }
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    v.bX64 = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    return v;
}

const char* const SEEDED_COUNT_2 =
    "[Startup]\r\nCount=2\r\n[AP0]\r\nExePath=C:\\Zero.exe\r\n[AP1]\r\nExePath=C:\\One.exe\r\n";

}  // namespace

TEST(RequestStart, RunningAgentGetsACompleteEntryBeforeItsEvent)
{
    const struct {
        const char* what;
        const char* seed;  // nullptr: no agent folder yet
        const char* args;
        int nIndex;
    } cases[] = {
        {"first request, folder made", nullptr, "/Service", 0},
        {"after two queued", SEEDED_COUNT_2, "/Service /Monitor", 2},
        {"empty arguments", SEEDED_COUNT_2, "", 2},
        {"negative count", "[Startup]\r\nCount=-4\r\n", "/Service", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CRequestBench bench;
        if (c.seed)
            bench.SeedRequestFile(c.seed);
        CTestAgent agent(bench);
        ASSERT_TRUE(agent.IsReady());

        EXPECT_EQ(START_QUEUED, RequestStart(EXE, c.args, bench.env));
        agent.Join();

        ASSERT_TRUE(agent.m_bWoke);
        EXPECT_EQ(c.nIndex + 1, agent.m_nCount);
        EXPECT_EQ(EXE, agent.m_strExePath);
        EXPECT_EQ(*c.args ? c.args : "<none>", agent.m_strCmdLine);
        if (!*c.args) {
            EXPECT_EQ(std::string::npos, agent.m_strFileText.find("CmdLine")) << agent.m_strFileText;
        }
        if (c.seed == SEEDED_COUNT_2) {
            CIniProfile file(bench.RequestFile());
            EXPECT_EQ("C:\\Zero.exe", file.GetString("AP0", "ExePath", "", 64));
            EXPECT_EQ("C:\\One.exe", file.GetString("AP1", "ExePath", "", 64));
        }
        EXPECT_TRUE(bench.calls.empty()) << bench.calls.front();
    }
}

TEST(RequestStart, ReadsCountOnlyOnceItHoldsTheAgentMutex)
{
    CRequestBench bench;
    HANDLE hAgentMutex = NewGlobalMutex(bench.env.strMutexName);
    CHandle hAgentEvent(NewGlobalEvent(bench.env.strEventName));
    ASSERT_NE(nullptr, hAgentMutex);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hAgentMutex, 0));

    int nResult = -1;
    std::thread requester([&] { nResult = RequestStart(EXE, "/Service", bench.env); });
    // The folder is made before the wait for the mutex; from then on the
    // requester can only be blocked on it.
    for (int i = 0; i < 2000 && !bench.AgentFolderExists(); ++i)
        Sleep(10);
    ASSERT_TRUE(bench.AgentFolderExists());
    EXPECT_FALSE(IsSignalled(hAgentEvent.Get())) << "signalled before the entry was written";
    CIniProfile(bench.RequestFile()).WriteString("Startup", "Count", "5");
    ReleaseMutex(hAgentMutex);
    requester.join();
    CloseHandle(hAgentMutex);

    EXPECT_EQ(START_QUEUED, nResult);
    EXPECT_TRUE(IsSignalled(hAgentEvent.Get()));
    CIniProfile file(bench.RequestFile());
    EXPECT_EQ(EXE, file.GetString("AP5", "ExePath", "<none>", 256));
    EXPECT_EQ("6", file.GetString("Startup", "Count", "<none>", 16));
    EXPECT_EQ("<none>", file.GetString("AP0", "ExePath", "<none>", 256));
}

TEST(RequestStart, StartsDirectlyWhenTheAgentDoesNotRun)
{
    const int states[] = {SVC_STATE_NOT_INSTALLED, SVC_STATE_STOPPED, SVC_STATE_PAUSED, SVC_STATE_OTHER,
                          SVC_STATE_NO_MANAGER};
    const struct {
        int nCode;
        const char* verb;
    } versions[] = {{21, "runas"}, {17, "runas"}, {13, "runas"}, {12, "open"}, {0, "open"}};
    for (int nState : states) {
        for (const auto& v : versions) {
            SCOPED_TRACE("state " + std::to_string(nState) + ", version code " + std::to_string(v.nCode));
            CRequestBench bench(nState, v.nCode);
            CHandle hAgentEvent(NewGlobalEvent(bench.env.strEventName));

            EXPECT_EQ(START_DIRECT, RequestStart(EXE, "/Service /Monitor", bench.env));

            EXPECT_EQ(std::vector<START_CALL>({{v.verb, EXE, "/Service /Monitor"}}), bench.calls);
            EXPECT_FALSE(bench.AgentFolderExists());
            EXPECT_FALSE(IsSignalled(hAgentEvent.Get()));
        }
    }
}

TEST(RequestStart, QueuesYetStartsDirectlyWhenTheEventCannotBeHad)
{
    for (const int nCode : {21, 12}) {
        CRequestBench bench(SVC_STATE_RUNNING, nCode);
        // A mutex holding the event's name keeps any event of that name from existing.
        CHandle hSquatter(NewGlobalMutex(bench.env.strEventName));
        ASSERT_TRUE(hSquatter.IsValid());

        EXPECT_EQ(START_DIRECT, RequestStart(EXE, "", bench.env));

        EXPECT_EQ(std::vector<START_CALL>({{nCode >= 13 ? "runas" : "open", EXE, ""}}), bench.calls);
        CIniProfile file(bench.RequestFile());
        EXPECT_EQ(EXE, file.GetString("AP0", "ExePath", "<none>", 256));
        EXPECT_EQ("1", file.GetString("Startup", "Count", "<none>", 16));
    }
}

// The agent's mutex has an open access list: any account can take it and
// keep it, or squat its name. A request then neither waits for ever nor
// claims to be queued: it says why, and the shell is asked instead.
TEST(RequestStart, AMutexHeldByAnotherOrSquattedEndsTheWaitAndStartsDirectly)
{
    enum class SQUAT { HeldByAnotherThread, NameTakenByAnEvent };
    for (const SQUAT eSquat : {SQUAT::HeldByAnotherThread, SQUAT::NameTakenByAnEvent}) {
        SCOPED_TRACE(eSquat == SQUAT::HeldByAnotherThread ? "held" : "name taken");
        CRequestBench bench;
        bench.env.nMutexWaitMs = 300;
        CHandle hAgentEvent(NewGlobalEvent(bench.env.strEventName));
        CHandle hRelease(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        CHandle hHeld(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        std::thread holder;
        CHandle hSquatter;
        if (eSquat == SQUAT::HeldByAnotherThread) {
            holder = std::thread([&] {
                CHandle hMutex(NewGlobalMutex(bench.env.strMutexName));
                WaitForSingleObject(hMutex.Get(), INFINITE);
                SetEvent(hHeld.Get());
                WaitForSingleObject(hRelease.Get(), 30000);
                ReleaseMutex(hMutex.Get());
            });
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hHeld.Get(), 5000));
        } else {
            hSquatter.Reset(NewGlobalEvent(bench.env.strMutexName));
            ASSERT_TRUE(hSquatter.IsValid());
        }

        const ULONGLONG nStarted = GetTickCount64();
        EXPECT_EQ(START_DIRECT, RequestStart(EXE, "/Service", bench.env));
        const ULONGLONG nTook = GetTickCount64() - nStarted;
        SetEvent(hRelease.Get());
        if (holder.joinable())
            holder.join();

        EXPECT_LT(nTook, 5000u) << "the wait is bounded";
        EXPECT_EQ(std::vector<START_CALL>({{"runas", EXE, "/Service"}}), bench.calls);
        EXPECT_FALSE(IsSignalled(hAgentEvent.Get())) << "nothing was queued for the agent";
        EXPECT_FALSE(PathFileExistsA(bench.RequestFile().c_str()));
        EXPECT_TRUE(bench.Logged(bench.env.strMutexName)) << "the log names the lock";
        EXPECT_TRUE(bench.Logged("not queued"));
    }
}

// A request file that cannot be written (a file in the agent folder's place,
// a folder in the request file's) is no queued request: the agent is not woken
// for it. (A read-only file would do too on Windows; under Wine as root it is
// written all the same.)
TEST(RequestStart, ARequestThatCannotBeWrittenIsNotCalledQueued)
{
    enum class BLOCK { FileInTheFoldersPlace, FolderInTheFilesPlace };
    for (const BLOCK eBlock : {BLOCK::FileInTheFoldersPlace, BLOCK::FolderInTheFilesPlace}) {
        SCOPED_TRACE(eBlock == BLOCK::FileInTheFoldersPlace ? "file in the folder's place" : "folder in the file's place");
        CRequestBench bench;
        CHandle hAgentEvent(NewGlobalEvent(bench.env.strEventName));
        std::string strFolder = bench.env.strAgentFolder;
        strFolder.pop_back();
        if (eBlock == BLOCK::FileInTheFoldersPlace) {
            WriteWholeFile(strFolder, "not a folder");
        } else {
            ASSERT_TRUE(CreateDirectoryA(strFolder.c_str(), nullptr));
            ASSERT_TRUE(CreateDirectoryA(bench.RequestFile().c_str(), nullptr));
        }

        EXPECT_EQ(START_DIRECT, RequestStart(EXE, "/Service", bench.env));

        EXPECT_EQ(std::vector<START_CALL>({{"runas", EXE, "/Service"}}), bench.calls);
        EXPECT_FALSE(IsSignalled(hAgentEvent.Get()));
        EXPECT_TRUE(bench.Logged("could not be written")) << (bench.logged.empty() ? "" : bench.logged[0]);
        if (eBlock == BLOCK::FolderInTheFilesPlace) {
            RemoveDirectoryA(bench.RequestFile().c_str());
            RemoveDirectoryA(strFolder.c_str());
        } else {
            DeleteFileA(strFolder.c_str());
        }
    }
}

// A declined elevation prompt starts nothing: the caller must know, not end.
TEST(RequestStart, ADeclinedOrFailedShellStartIsReported)
{
    for (const int nState : {SVC_STATE_STOPPED, SVC_STATE_RUNNING}) {
        CRequestBench bench(nState);
        bench.bShellStarts = false;
        bench.env.nMutexWaitMs = 300;
        // With the agent running, its lock is squatted so that the shell is asked.
        CHandle hSquatter(NewGlobalEvent(bench.env.strMutexName));

        EXPECT_EQ(START_FAILED, RequestStart(EXE, "/Service", bench.env)) << nState;
        EXPECT_EQ(1u, bench.calls.size());
        EXPECT_TRUE(bench.Logged("failed or was declined"));
    }
}

TEST(RequestStart, EmptyPathAsksForNothing)
{
    for (const int nState : {SVC_STATE_RUNNING, SVC_STATE_STOPPED}) {
        CRequestBench bench(nState);
        CHandle hAgentEvent(NewGlobalEvent(bench.env.strEventName));

        EXPECT_EQ(START_NO_PATH, RequestStart("", "/Service", bench.env));

        EXPECT_TRUE(bench.calls.empty());
        EXPECT_FALSE(bench.AgentFolderExists());
        EXPECT_FALSE(IsSignalled(hAgentEvent.Get()));
    }
    EXPECT_EQ(START_NO_PATH, RequestStart("", "/Service"));
}

TEST(RequestStart, DefaultsDescribeTheRealAgent)
{
    const START_REQUEST_ENV env = DefaultStartRequestEnv();
    char common[MAX_PATH] = "";
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, common, CSIDL_COMMON_APPDATA, FALSE));
    EXPECT_EQ(std::string(common) + "\\Orvane\\", env.strAgentFolder);
    EXPECT_EQ("OrvaneMutex_StartupAgent_StartupIni", env.strMutexName);
    EXPECT_EQ("OrvaneeEvent_StartupAgent_CreateProcess", env.strEventName);
    EXPECT_TRUE(static_cast<bool>(env.fnStartDirect));

    const PREFIX_VERSION prefix = ReadPrefixVersion();
    ASSERT_TRUE(prefix.IsWindows7()) << prefix.nMajor << "." << prefix.nMinor;
    EXPECT_EQ(prefix.Windows7Code(), env.nOsVersionCode);

    // The agent's service as the service manager tells it, asked here directly.
    int nExpectedState = SVC_STATE_NOT_INSTALLED;
    SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(nullptr, hManager);
    if (SC_HANDLE hService = OpenServiceA(hManager, "OrvaneStartupAgent", SERVICE_QUERY_STATUS)) {
        SERVICE_STATUS status = {};
        ASSERT_TRUE(QueryServiceStatus(hService, &status));
        nExpectedState = status.dwCurrentState == SERVICE_RUNNING   ? SVC_STATE_RUNNING
                         : status.dwCurrentState == SERVICE_STOPPED ? SVC_STATE_STOPPED
                         : status.dwCurrentState == SERVICE_PAUSED  ? SVC_STATE_PAUSED
                                                                    : SVC_STATE_OTHER;
        CloseServiceHandle(hService);
    } else {
        EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());
    }
    CloseServiceHandle(hManager);
    EXPECT_EQ(nExpectedState, env.nServiceState);
}

TEST(GlobalObjects, EventIsCreatedOnceAutomaticResetWithAnOpenAccessList)
{
    const std::string name = UniqueName("event");
    CHandle hFirst(OpenOrCreateGlobalEvent(nullptr, FALSE, FALSE, name.c_str(), true));
    ASSERT_TRUE(hFirst.IsValid());
    EXPECT_FALSE(IsSignalled(hFirst.Get()));
    CHandle hSecond(OpenOrCreateGlobalEvent(nullptr, FALSE, FALSE, name.c_str(), true));
    CHandle hByName(OpenEventA(SYNCHRONIZE, FALSE, ("Global\\" + name).c_str()));
    ASSERT_TRUE(hSecond.IsValid());
    ASSERT_TRUE(hByName.IsValid());

    SetEvent(hSecond.Get());
    EXPECT_TRUE(IsSignalled(hByName.Get()));
    EXPECT_FALSE(IsSignalled(hFirst.Get()));  // one wait took the one signal

    EXPECT_TRUE(HasNullDacl(hFirst.Get()));
    CHandle hDefault(CreateEventA(nullptr, FALSE, FALSE, ("Global\\" + UniqueName("default")).c_str()));
    EXPECT_FALSE(HasNullDacl(hDefault.Get())) << "default security must look different";
}

TEST(GlobalObjects, MutexIsCreatedNotOwnedAndOpenedAfterwards)
{
    const std::string name = UniqueName("mutex");
    CHandle hFirst(OpenOrCreateGlobalMutex(nullptr, FALSE, name.c_str(), true));
    ASSERT_TRUE(hFirst.IsValid());
    EXPECT_TRUE(OtherThreadCanTake(hFirst.Get()));

    CHandle hSecond(OpenOrCreateGlobalMutex(nullptr, FALSE, name.c_str(), true));
    ASSERT_TRUE(hSecond.IsValid());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hFirst.Get(), 0));
    EXPECT_FALSE(OtherThreadCanTake(hSecond.Get()));  // the same object
    ReleaseMutex(hFirst.Get());

    EXPECT_TRUE(HasNullDacl(hFirst.Get()));
}

TEST(GlobalObjects, WithoutNameOrGlobalFlagTheArgumentsAreUsedAsGiven)
{
    CHandle hManual(OpenOrCreateGlobalEvent(nullptr, TRUE, TRUE, nullptr, true));
    ASSERT_TRUE(hManual.IsValid());
    EXPECT_TRUE(IsSignalled(hManual.Get()));
    EXPECT_TRUE(IsSignalled(hManual.Get()));  // manual reset: still signalled

    const std::string localName = UniqueName("local");
    CHandle hLocal(OpenOrCreateGlobalEvent(nullptr, FALSE, TRUE, localName.c_str(), false));
    CHandle hByName(OpenEventA(SYNCHRONIZE, FALSE, localName.c_str()));
    ASSERT_TRUE(hLocal.IsValid());
    EXPECT_TRUE(hByName.IsValid());
    EXPECT_TRUE(IsSignalled(hByName.Get()));
    EXPECT_FALSE(IsSignalled(hLocal.Get()));

    CHandle hOwned(OpenOrCreateGlobalMutex(nullptr, TRUE, nullptr, true));
    ASSERT_TRUE(hOwned.IsValid());
    EXPECT_FALSE(OtherThreadCanTake(hOwned.Get()));
    ReleaseMutex(hOwned.Get());
    EXPECT_TRUE(OtherThreadCanTake(hOwned.Get()));
}

TEST(WaitMutex, AbandonedMutexCountsAsTakenAndIsHeldOnce)
{
    CHandle hMutex(CreateMutexA(nullptr, FALSE, nullptr));
    std::thread([&] { WaitForSingleObject(hMutex.Get(), INFINITE); }).join();  // ends owning it

    EXPECT_TRUE(WaitMutex(hMutex.Get(), 5000));
    EXPECT_FALSE(OtherThreadCanTake(hMutex.Get()));
    EXPECT_TRUE(ReleaseMutex(hMutex.Get()));
    EXPECT_FALSE(ReleaseMutex(hMutex.Get()));  // was held exactly once
    EXPECT_TRUE(OtherThreadCanTake(hMutex.Get()));
}

TEST(WaitMutex, FreeBusyAndInvalidMutexes)
{
    CHandle hFree(CreateMutexA(nullptr, FALSE, nullptr));
    EXPECT_TRUE(WaitMutex(hFree.Get(), 0));
    EXPECT_TRUE(ReleaseMutex(hFree.Get()));
    EXPECT_FALSE(ReleaseMutex(hFree.Get()));

    CHandle hBusy(CreateMutexA(nullptr, FALSE, nullptr));
    CAutoEvent taken, done;
    std::thread owner([&] {
        WaitForSingleObject(hBusy.Get(), INFINITE);
        taken.Signal();
        WaitForSingleObject(done.Get(), INFINITE);
        ReleaseMutex(hBusy.Get());
    });
    WaitForSingleObject(taken.Get(), INFINITE);
    EXPECT_FALSE(WaitMutex(hBusy.Get(), 0));
    done.Signal();
    owner.join();

    EXPECT_FALSE(WaitMutex(nullptr, 0));
    CAutoEvent notAMutexButSignalled;
    notAMutexButSignalled.Signal();
    EXPECT_TRUE(WaitMutex(notAMutexButSignalled.Get(), 0));  // any acquired wait counts
}

TEST(Elevation, BeforeVistaEveryTokenCountsAsElevated)
{
    CAutoEvent notAToken;
    for (const int nCode : {0, 2, 6, 9, 11, 12}) {
        EXPECT_TRUE(IsProcessElevated(nullptr, nCode)) << nCode;
        EXPECT_TRUE(IsProcessElevated(notAToken.Get(), nCode)) << nCode;
    }
    for (const int nCode : {13, 17, 21})
        EXPECT_FALSE(IsProcessElevated(notAToken.Get(), nCode)) << "failed query, code " << nCode;
}

TEST(Elevation, ProcessTokenAnswerMatchesItsElevationType)
{
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &h));
    CHandle hToken(h);
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(hToken.Get(), TokenElevationType, &type, sizeof(type), &size));
    const bool bFull = type == TokenElevationTypeFull;

    EXPECT_TRUE(bFull) << "Wine's token is fully elevated";
    EXPECT_EQ(bFull, IsProcessElevated(nullptr, 21));
    EXPECT_EQ(bFull, IsProcessElevated(hToken.Get(), 21));
    EXPECT_TRUE(IsProcessElevated(nullptr)) << "a full token on Windows 7";

    TOKEN_LINKED_TOKEN linked{};
    if (GetTokenInformation(hToken.Get(), TokenLinkedToken, &linked, sizeof(linked), &size)) {
        CHandle hLinked(linked.LinkedToken);
        TOKEN_ELEVATION_TYPE linkedType = TokenElevationTypeDefault;
        ASSERT_TRUE(GetTokenInformation(hLinked.Get(), TokenElevationType, &linkedType, sizeof(linkedType), &size));
        EXPECT_EQ(linkedType == TokenElevationTypeFull, IsProcessElevated(hLinked.Get(), 21));
        EXPECT_NE(bFull, IsProcessElevated(hLinked.Get(), 21)) << "the linked token is the other half";
    }
}

// This program started again with a command line of the test's choosing: the
// tail and elevation it reports come from that line and from Wine's token,
// which is fully elevated.
TEST(Elevation, CommandTailIsWhatTheProcessWasStartedWith)
{
    const struct {
        const char* commandLine;
        const char* report;
    } cases[] = {
        {"\"C:\\Program Files\\Orvane\\Tillvox\\Tillvox.exe\" /Service /Monitor", "[/Service /Monitor] elevated, kept"},
        {"\"C:\\Tillvox.exe\" -\"Monitor\"", "[-\"Monitor\"] elevated, kept"},
        {"\"C:\\Tillvox.exe\"  /Monitor", "[ /Monitor] elevated, kept"},
    };
    char self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
    CTempFolder temp;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        const std::string report = temp.File("tail.txt");
        DeleteFileA(report.c_str());
        ASSERT_TRUE(SetEnvironmentVariableA(TAIL_REPORT_VARIABLE, report.c_str()));
        std::string commandLine = c.commandLine;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        const BOOL bStarted =
            CreateProcessA(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
        SetEnvironmentVariableA(TAIL_REPORT_VARIABLE, nullptr);
        ASSERT_TRUE(bStarted) << GetLastError();
        CHandle hThread(process.hThread), hProcess(process.hProcess);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hProcess.Get(), 30000));
        EXPECT_EQ(c.report, ReadWholeFile(report));
    }
}

TEST(Elevation, VersionCodeOfTheRunningSystem)
{
    const OS_VERSION_DATA data = ReadOsVersionData();
    ASSERT_TRUE(data.bQueryOk);
    EXPECT_TRUE(data.bNtFamily);
    const PREFIX_VERSION prefix = ReadPrefixVersion();
    ASSERT_TRUE(prefix.IsWindows7()) << prefix.nMajor << "." << prefix.nMinor;
    EXPECT_EQ(6u, data.nMajor);
    EXPECT_EQ(1u, data.nMinor);
    EXPECT_TRUE(data.bWorkstation);
    EXPECT_EQ(prefix.Windows7Code(), GetOsVersionCode());
    BOOL bWow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &bWow64));
    // A 32-bit program on a 64-bit system runs under WOW64; a 64-bit test build runs natively.
    const bool b64BitProcess = sizeof(void*) == 8;
    EXPECT_EQ(bWow64 != FALSE || b64BitProcess, data.bX64);
}

TEST(ServiceState, StatesMapToCodes)
{
    const struct {
        DWORD dwState;
        int nCode;
    } cases[] = {
        {SERVICE_STOPPED, 1},         {SERVICE_RUNNING, 2},          {SERVICE_PAUSED, 3},
        {SERVICE_START_PENDING, 4},   {SERVICE_STOP_PENDING, 4},     {SERVICE_CONTINUE_PENDING, 4},
        {SERVICE_PAUSE_PENDING, 4},   {0, 4},                        {99, 4},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.nCode, ServiceStateCode(c.dwState)) << c.dwState;
}

TEST(ServiceState, InstalledAndMissingServices)
{
    EXPECT_EQ(SVC_STATE_NOT_INSTALLED, QueryServiceState(UniqueName("service").c_str()));
    const int nSpooler = QueryServiceState("Spooler");
    EXPECT_GE(nSpooler, SVC_STATE_STOPPED);
    EXPECT_LE(nSpooler, SVC_STATE_OTHER);
}
