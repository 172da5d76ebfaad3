// The startup agent as the service control manager runs it: the real
// TillvoxAgent.exe installed as the service, the real request file, global
// mutex and event, and the real Tillvox.exe it starts.
#include "agent/AgentRequests.h"
#include "agent/AgentService_win.h"
#include "app/CommandTail.h"
#include "app/Elevation.h"
#include "base/IniProfile.h"
#include "base/WinHandle.h"
#include "config/SettingsFile.h"
#include "net/WinsockInit.h"
#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// Safety bounds only: each wait ends as soon as its condition holds.
const DWORD COMMAND_WAIT_MS = 60000;
const DWORD CONDITION_WAIT_MS = 30000;

struct CCloseServiceHandle {
    void operator()(SC_HANDLE h) const { CloseServiceHandle(h); }
};
using CServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, CCloseServiceHandle>;

std::string BinFolder()
{
    return UnixToWindowsPath(EnvironmentValue("TILLVOX_BIN_DIR"));
}

std::string AgentExe()
{
    return BinFolder() + "\\TillvoxAgent.exe";
}

std::string AgentLogPath()
{
    return BinFolder() + "\\TillvoxAgent.log";
}

std::string RequestFile()
{
    char common[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, common, CSIDL_COMMON_APPDATA, TRUE);
    return std::string(common) + "\\Orvane\\OrvaneStartupAgent.ini";
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = CONDITION_WAIT_MS)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (condition())
            return true;
        Sleep(50);
    }
    return condition();
}

// The exit code of the agent run with a command; -1 when it did not end in time.
int RunAgent(const std::string& arguments)
{
    HANDLE h = nullptr;
    if (!LaunchCommand("\"" + AgentExe() + "\" " + arguments, &h))
        return -1;
    CHandle hProcess(h);
    if (WaitForSingleObject(h, COMMAND_WAIT_MS) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(h, &code);
    return static_cast<int>(code);
}

int ServiceState()
{
    return QueryServiceState(STARTUP_AGENT_SERVICE);
}

bool SameFile(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// Ids of the running processes whose image is exePath.
std::set<DWORD> ProcessesOf(const std::string& exePath)
{
    std::set<DWORD> ids;
    CHandle hSnap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!hSnap.IsValid())
        return ids;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(hSnap.Get(), &entry); ok; ok = Process32Next(hSnap.Get(), &entry)) {
        CHandle hProcess(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        char image[MAX_PATH] = "";
        DWORD size = MAX_PATH;
        if (hProcess.IsValid() && QueryFullProcessImageNameA(hProcess.Get(), 0, image, &size) &&
            SameFile(image, exePath))
            ids.insert(entry.th32ProcessID);
    }
    return ids;
}

BOOL CALLBACK CloseIfOf(HWND hWnd, LPARAM lParam)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(hWnd, &owner);
    if (owner == static_cast<DWORD>(lParam))
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
    return TRUE;
}

// Closes every running copy of exePath as a user would (a close request to its
// windows), ending it only when it does not go within the bound.
void CloseAll(const std::string& exePath)
{
    for (const DWORD id : ProcessesOf(exePath)) {
        EnumWindows(CloseIfOf, static_cast<LPARAM>(id));
        CHandle hProcess(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id));
        if (hProcess.IsValid() && WaitForSingleObject(hProcess.Get(), 15000) != WAIT_OBJECT_0)
            TerminateProcess(hProcess.Get(), 1);
    }
}

bool PortListens(unsigned short port)
{
    CLoopbackClient client;
    return client.Connect(port, 1000);
}

// Writes the request file as a requester does: under the agent's mutex.
void WriteUnderMutex(const std::function<void()>& write)
{
    CHandle hMutex(OpenOrCreateGlobalMutex(nullptr, FALSE, STARTUP_AGENT_MUTEX, true));
    ASSERT_TRUE(WaitMutex(hMutex.Get(), CONDITION_WAIT_MS));
    CreateDirectoryA(RequestFile().substr(0, RequestFile().rfind('\\')).c_str(), nullptr);
    write();
    ReleaseMutex(hMutex.Get());
}

void Signal()
{
    CHandle hEvent(OpenOrCreateGlobalEvent(nullptr, FALSE, FALSE, STARTUP_AGENT_EVENT, true));
    ASSERT_TRUE(hEvent.IsValid());
    SetEvent(hEvent.Get());
}

bool QueueIsEmpty()
{
    return ReadWholeFile(RequestFile()) == AGENT_EMPTY_REQUEST_FILE;
}

// The agent's log from a point on.
class CLogReader {
public:
    CLogReader() : m_nStart(ReadWholeFile(AgentLogPath()).size()) {}
    std::string Text() const { return ReadWholeFile(AgentLogPath()).substr(m_nStart); }
    int Count(const std::string& what) const
    {
        const std::string text = Text();
        int n = 0;
        for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
            ++n;
        return n;
    }

private:
    size_t m_nStart;
};

// Starts a program as an administrator's program starts under user account
// control without a prompt: with the limited half of this process's token.
bool StartLimited(const std::string& exePath, const std::string& arguments, CHandle& hProcess)
{
    HANDLE h = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &h))
        return false;
    CHandle hOwn(h);
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    if (!GetTokenInformation(hOwn.Get(), TokenLinkedToken, &linked, sizeof linked, &size))
        return false;
    CHandle hLinked(linked.LinkedToken);
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    if (!GetTokenInformation(hLinked.Get(), TokenElevationType, &type, sizeof type, &size) ||
        type != TokenElevationTypeLimited)
        return false;
    h = nullptr;
    if (!DuplicateTokenEx(hLinked.Get(), MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary, &h))
        return false;
    CHandle hPrimary(h);
    std::string commandLine = "\"" + exePath + "\" " + arguments;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessAsUserA(hPrimary.Get(), exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    hProcess.Reset(pi.hProcess);
    return true;
}

struct AgentService : ::testing::Test {
    CWinsockInit winsock;
    unsigned short m_nPort = 0;

    static void SetUpTestSuite()
    {
        CreateDirectoryA((ProgramDataFolder() + "..").c_str(), nullptr);
        CreateDirectoryA(ProgramDataFolder().c_str(), nullptr);
        RunAgent("/Uninstall");
    }
    static void TearDownTestSuite()
    {
        RunAgent("/Uninstall");
        DeleteFileA(ProgramSettingsPath().c_str());
    }

    void SetUp() override
    {
        if (ServiceState() != SVC_STATE_RUNNING) {
            ASSERT_EQ(0, RunAgent("/Install"));
        }
        ASSERT_EQ(SVC_STATE_RUNNING, ServiceState());
        // One source whose recorder port listens only when capture starts at once (monitor mode).
        m_nPort = FindFreeLoopbackPort();
        POS_SETTING_INFO r;
        r.nMonitorType = KIND_FILE;
        r.strFilePath = ProgramDataFolder() + "agent-test-receipts.txt";
        r.strPosIndex = "POS1";
        r.ePrinterType = PRINTER_TYPE::Tcp;
        r.strPort = std::to_string(m_nPort);
        r.strPassword = "agent";
        r.strBaudRate = r.strDataBits = r.strParity = r.strStopBits = "NULL";
        DeleteFileA(ProgramSettingsPath().c_str());
        CIniProfile profile(ProgramSettingsPath());
        SaveSettingsTo(profile, {&r}, false);
    }
    void TearDown() override { CloseAll(ProgramExePath()); }
};

}  // namespace

TEST_F(AgentService, IsAnAutomaticLocalSystemServiceThatRuns)
{
    CServiceHandle hManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    ASSERT_TRUE(hManager);
    CServiceHandle hService(OpenServiceA(hManager.get(), "OrvaneStartupAgent", SERVICE_QUERY_CONFIG));
    ASSERT_TRUE(hService);
    std::vector<BYTE> buffer(8192);
    DWORD size = 0;
    ASSERT_TRUE(QueryServiceConfigA(hService.get(), reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                                    static_cast<DWORD>(buffer.size()), &size));
    const auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config->dwServiceType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config->dwStartType);
    EXPECT_EQ("\"" + AgentExe() + "\"", std::string(config->lpBinaryPathName));
    EXPECT_EQ("LocalSystem", std::string(config->lpServiceStartName ? config->lpServiceStartName : ""));
    EXPECT_EQ("Tillvox Startup Agent", std::string(config->lpDisplayName));
    ASSERT_TRUE(QueryServiceConfig2A(hService.get(), SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                                     static_cast<DWORD>(buffer.size()), &size));
    const char* description = reinterpret_cast<SERVICE_DESCRIPTIONA*>(buffer.data())->lpDescription;
    EXPECT_NE(std::string::npos, std::string(description ? description : "").find("Tillvox"));
    EXPECT_EQ(1u, ProcessesOf(AgentExe()).size());

    EXPECT_EQ(2, RunAgent("")) << "started by hand, not by the service control manager";
    EXPECT_EQ(2, RunAgent("/Frobnicate"));
    EXPECT_EQ(SVC_STATE_RUNNING, ServiceState());
}

TEST_F(AgentService, TakesItsNameAndDescriptionInTheSetupsLanguage)
{
    const std::wstring name = L"Agent de d\u00e9marrage Tillvox \u0422\u0438\u043b\u043b\u0432\u043e\u043a\u0441";
    const std::wstring description = L"D\u00e9marre Tillvox \u00e0 l'ouverture de session \u542f\u52a8";
    const std::string agent = AgentExe();
    std::wstring commandLine = L"\"" + std::wstring(agent.begin(), agent.end()) + L"\" /Install \"" + name +
                               L"\" \"" + description + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    CHandle hProcess(pi.hProcess);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hProcess.Get(), COMMAND_WAIT_MS));
    DWORD code = 1;
    GetExitCodeProcess(hProcess.Get(), &code);
    EXPECT_EQ(0u, code) << "installing over the installed service brings it up to date";

    CServiceHandle hManager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle hService(hManager ? OpenServiceW(hManager.get(), L"OrvaneStartupAgent", SERVICE_QUERY_CONFIG)
                                     : nullptr);
    ASSERT_TRUE(hService);
    std::vector<BYTE> buffer(8192);
    DWORD size = 0;
    ASSERT_TRUE(QueryServiceConfigW(hService.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                                    static_cast<DWORD>(buffer.size()), &size));
    EXPECT_TRUE(name == reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data())->lpDisplayName);
    ASSERT_TRUE(QueryServiceConfig2W(hService.get(), SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                                     static_cast<DWORD>(buffer.size()), &size));
    const wchar_t* stored = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data())->lpDescription;
    EXPECT_TRUE(description == (stored ? stored : L""));
    EXPECT_EQ(SVC_STATE_RUNNING, ServiceState());
    EXPECT_EQ(0, RunAgent("/Install")) << "and back to the English texts";
}

TEST_F(AgentService, ProgramWithoutFullRightsIsStartedAgainWithThemInMonitorMode)
{
    CLogReader log;
    CHandle hFirst;
    ASSERT_TRUE(StartLimited(ProgramExePath(), "/Monitor", hFirst)) << GetLastError();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hFirst.Get(), CONDITION_WAIT_MS)) << "the first instance ends";
    DWORD code = 1;
    GetExitCodeProcess(hFirst.Get(), &code);
    EXPECT_EQ(0u, code);
    const DWORD firstId = GetProcessId(hFirst.Get());

    EXPECT_TRUE(WaitUntil([&] { return PortListens(m_nPort); })) << "the new instance captures at once\n"
                                                                  << log.Text();
    const std::set<DWORD> running = ProcessesOf(ProgramExePath());
    EXPECT_EQ(1u, running.size());
    EXPECT_EQ(0u, running.count(firstId));
    EXPECT_TRUE(QueueIsEmpty());
    EXPECT_EQ(1, log.Count("AP0 started: \"" + ProgramExePath() + "\" /Service /Monitor")) << log.Text();
}

TEST_F(AgentService, HostileRequestsStartNothingAndTheNextGoodOneIsServed)
{
    CTempFolder temp;
    const std::string marker = temp.File("started.txt");
    const std::string copyFolder = BinFolder() + "\\..\\agent-test-copy";
    CreateDirectoryA(copyFolder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(ProgramExePath().c_str(), (copyFolder + "\\Tillvox.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(ProgramExePath().c_str(), temp.File("Tillvox.exe").c_str(), FALSE));
    const std::string own = ProgramExePath();
    const auto entry = [](const std::string& exe, const char* args) {
        return "[AP0]\r\nExePath=" + exe + "\r\n" + (args ? std::string("CmdLine=") + args + "\r\n" : "");
    };
    const std::string count1 = "[Startup]\r\nCount=1\r\n";
    // Every entry that would start the program starts it without monitor mode:
    // had one been started, the good request below would find it running and end.
    const struct {
        const char* what;
        std::string file;
    } cases[] = {
        {"another program", count1 + entry("C:\\windows\\system32\\cmd.exe", ("/c echo x > " + marker).c_str())},
        {"Tillvox.exe in another folder", count1 + entry(temp.File("Tillvox.exe"), "/Service")},
        {"escape from the folder with ..", count1 + entry(BinFolder() + "\\..\\agent-test-copy\\Tillvox.exe", "/Service")},
        {"extra arguments", count1 + entry(own, "/Service /Monitor /x")},
        {"a chained command", count1 + entry(own, ("/Service & cmd /c echo x > " + marker).c_str())},
        {"no arguments", count1 + entry(own, nullptr)},
        {"negative Count", "[Startup]\r\nCount=-1\r\n" + entry(own, "/Service")},
        {"Count that is no number", "[Startup]\r\nCount=many\r\n" + entry(own, "/Service")},
        {"garbage with zero bytes", count1 + entry(own, "/Service") + std::string("\0\x7f\xff garbage", 11)},
        {"huge file", count1 + entry(own, "/Service") + std::string(AGENT_REQUEST_FILE_MAX_BYTES, ';')},
    };
    CLogReader log;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteUnderMutex([&] { WriteWholeFile(RequestFile(), c.file); });
        Signal();
        EXPECT_TRUE(WaitUntil(QueueIsEmpty)) << "the queue is emptied";
        EXPECT_EQ(SVC_STATE_RUNNING, ServiceState());
    }
    EXPECT_EQ(6, log.Count(" dropped (")) << log.Text();
    EXPECT_EQ(0, log.Count(" started: ")) << log.Text();

    // An enormous Count: the one entry that exists is served.
    WriteUnderMutex([&] {
        WriteWholeFile(RequestFile(), "[Startup]\r\nCount=99999999999\r\n" + entry(own, "/Service /Monitor"));
    });
    Signal();
    EXPECT_TRUE(WaitUntil([&] { return PortListens(m_nPort); })) << log.Text();
    EXPECT_TRUE(QueueIsEmpty());
    EXPECT_EQ(1, log.Count(" started: ")) << log.Text();
    EXPECT_EQ(1u, ProcessesOf(own).size());
    EXPECT_TRUE(ProcessesOf(temp.File("Tillvox.exe")).empty());
    char copyExe[MAX_PATH] = "";
    GetFullPathNameA((copyFolder + "\\Tillvox.exe").c_str(), MAX_PATH, copyExe, nullptr);
    EXPECT_TRUE(ProcessesOf(copyExe).empty());
    EXPECT_FALSE(PathFileExistsA(marker.c_str())) << "cmd.exe ran";
    CloseAll(own);
    RemoveTree(copyFolder + "\\");
}

TEST_F(AgentService, SeveralRequestsQueuedBeforeOneSignalAreEachHandledOnce)
{
    CLogReader log;
    WriteUnderMutex([&] {
        DeleteFileA(RequestFile().c_str());
        CIniProfile file(RequestFile());
        WriteStartRequest(file, ProgramExePath(), "/Service /Monitor");
        WriteStartRequest(file, "C:\\windows\\system32\\cmd.exe", "/c exit");
        WriteStartRequest(file, ProgramExePath(), "/Service /Monitor");
    });
    Signal();
    EXPECT_TRUE(WaitUntil(QueueIsEmpty));
    EXPECT_TRUE(WaitUntil([&] { return PortListens(m_nPort); })) << log.Text();

    // Signals without new requests, then one more request: nothing is served twice.
    Signal();
    Signal();
    WriteUnderMutex([&] {
        CIniProfile file(RequestFile());
        EXPECT_EQ(0, WriteStartRequest(file, "C:\\windows\\system32\\cmd.exe", "/c exit")) << "the queue was emptied";
    });
    Signal();
    EXPECT_TRUE(WaitUntil([&] { return log.Count("AP0 dropped") == 1; })) << log.Text();
    EXPECT_TRUE(WaitUntil(QueueIsEmpty));
    EXPECT_EQ(1, log.Count("AP0 started: ")) << log.Text();
    EXPECT_EQ(1, log.Count("AP1 dropped (not the Tillvox.exe")) << log.Text();
    EXPECT_EQ(1, log.Count("AP2 started: ")) << log.Text();
    EXPECT_EQ(2, log.Count(" started: ")) << log.Text();
    EXPECT_TRUE(WaitUntil([] { return ProcessesOf(ProgramExePath()).size() == 1; }))
        << "the second start found the first running and ended";
}

TEST_F(AgentService, ARequestFileThatIsALinkIsRemovedNotWrittenThrough)
{
    CTempFolder temp;
    const std::string victim = temp.File("victim.ini");
    const std::string content = "[Startup]\r\nCount=1\r\n[AP0]\r\nExePath=" + ProgramExePath() + "\r\nCmdLine=/Service\r\n";
    WriteWholeFile(victim, content);
    CLogReader log;
    WriteUnderMutex([&] {
        DeleteFileA(RequestFile().c_str());
        ASSERT_TRUE(CreateHardLinkA(RequestFile().c_str(), victim.c_str(), nullptr)) << GetLastError();
    });
    Signal();
    EXPECT_TRUE(WaitUntil([&] { return !PathFileExistsA(RequestFile().c_str()); })) << log.Text();
    EXPECT_EQ(content, ReadWholeFile(victim));
    EXPECT_EQ(0, log.Count(" started: ")) << log.Text();
    EXPECT_EQ(SVC_STATE_RUNNING, ServiceState());
}

TEST_F(AgentService, StopsOnRequestStartsAgainAndIsGoneAfterUninstall)
{
    CLogReader log;
    EXPECT_EQ(0, RunAgent("/Stop"));
    EXPECT_EQ(SVC_STATE_STOPPED, ServiceState());
    EXPECT_TRUE(WaitUntil([] { return ProcessesOf(AgentExe()).empty(); })) << "its process ended";
    EXPECT_EQ(1, log.Count(" stopped\r\n")) << log.Text();
    EXPECT_EQ(0, RunAgent("/Stop")) << "stopping a stopped service";

    EXPECT_EQ(0, RunAgent("/Start"));
    EXPECT_EQ(SVC_STATE_RUNNING, ServiceState());

    EXPECT_EQ(0, RunAgent("/Uninstall"));
    EXPECT_EQ(SVC_STATE_NOT_INSTALLED, ServiceState());
    EXPECT_TRUE(WaitUntil([] { return ProcessesOf(AgentExe()).empty(); }));
    EXPECT_EQ(0, RunAgent("/Uninstall")) << "removing what is not there";
    EXPECT_EQ(0, RunAgent("/Stop"));
    EXPECT_NE(0, RunAgent("/Start"));
}
