// The startup agent's decisions over its request file, without a system.
#include "agent/AgentRequests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string ALLOWED = "C:\\Program Files (x86)\\Orvane\\Tillvox\\Tillvox.exe";

AGENT_QUEUE Parse(const std::string& text)
{
    return ParseAgentQueue(text, text.size());
}

std::string Entries(const AGENT_QUEUE& queue)
{
    std::string out;
    for (const AGENT_REQUEST& r : queue.requests)
        out += std::to_string(r.nIndex) + ":" + r.strExePath + (r.bHasCmdLine ? "|" + r.strCmdLine : "") + ";";
    return out;
}

std::string Utf16(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

const char GARBAGE_BYTES[] = "[Startup]\r\nCount=1\r\n[AP0]\r\nExePath=C:\\a\0\x01\x02";
const std::string GARBAGE_WITH_ZEROS(GARBAGE_BYTES, sizeof GARBAGE_BYTES - 1);

}  // namespace

TEST(AgentQueue, ReadsTheEntriesTheProfileFunctionsWouldRead)
{
    const struct {
        const char* what;
        std::string file;
        long long llCount;
        const char* entries;
    } cases[] = {
        {"as the program writes it",
         "[Startup]\r\nCount=2\r\n[AP0]\r\nExePath=C:\\T\\Tillvox.exe\r\nCmdLine=/Service\r\n"
         "[AP1]\r\nExePath=C:\\T\\Tillvox.exe\r\nCmdLine=/Service /Monitor\r\n",
         2, "0:C:\\T\\Tillvox.exe|/Service;1:C:\\T\\Tillvox.exe|/Service /Monitor;"},
        {"an entry without arguments", "[Startup]\r\nCount=1\r\n[AP0]\r\nExePath=C:\\a.exe\r\n", 1, "0:C:\\a.exe;"},
        {"empty file", "", 0, ""},
        {"no Count: nothing queued", "[AP0]\r\nExePath=C:\\a.exe\r\n", 0, ""},
        {"negative Count", "[Startup]\r\nCount=-3\r\n[AP0]\r\nExePath=C:\\a.exe\r\n", -3, ""},
        {"entries past Count are left", "[Startup]\r\nCount=1\r\n[AP0]\r\nExePath=C:\\a\r\n[AP1]\r\nExePath=C:\\b\r\n", 1,
         "0:C:\\a;"},
        {"enormous Count: the entries that exist",
         "[Startup]\r\nCount=99999999999999999999\r\n[AP1]\r\nExePath=C:\\b\r\n[AP0]\r\nExePath=C:\\a\r\n",
         2147483648LL, "0:C:\\a;1:C:\\b;"},
        {"Count with trailing text, as GetPrivateProfileInt reads it",
         "[Startup]\r\nCount= 1x\r\n[AP0]\r\nExePath=C:\\a\r\n", 1, "0:C:\\a;"},
        {"names in any case, blanks and quotes", "[startup]\nCOUNT = 1\n[ap0]\n  exepath =  \"C:\\a b\"  \ncmdline='/Service'\n",
         1, "0:C:\\a b|/Service;"},
        {"first of duplicate sections and keys",
         "[Startup]\nCount=1\n[AP0]\nExePath=C:\\first\nExePath=C:\\second\n[AP0]\nExePath=C:\\third\n", 1,
         "0:C:\\first;"},
        {"sections AP%d does not write", "[Startup]\nCount=9\n[AP01]\nExePath=C:\\x\n[AP-1]\nExePath=C:\\y\n[APx]\nExePath=C:\\z\n",
         9, ""},
        {"comments and lines without a value", "; note\n[Startup]\nCount=1\nnonsense\n[AP0]\n;ExePath=C:\\no\nExePath=C:\\yes\n",
         1, "0:C:\\yes;"},
        {"UTF-8 mark", "\xEF\xBB\xBF[Startup]\r\nCount=1\r\n[AP0]\r\nExePath=C:\\a\r\n", 1, "0:C:\\a;"},
        {"UTF-16 file", Utf16("[Startup]\r\nCount=1\r\n[AP0]\r\nExePath=C:\\a\r\nCmdLine=/Service\r\n"), 1,
         "0:C:\\a|/Service;"},
        {"garbage with zero bytes", GARBAGE_WITH_ZEROS, 0, ""},
        {"garbage without lines", std::string(3000, '\x9c'), 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const AGENT_QUEUE queue = Parse(c.file);
        EXPECT_EQ(c.llCount, queue.llCount);
        EXPECT_EQ(c.entries, Entries(queue));
    }
}

TEST(AgentQueue, SaysWhyEntriesWereLeftOut)
{
    EXPECT_TRUE(Parse("[Startup]\r\nCount=1\r\n[AP0]\r\nExePath=C:\\a\r\n").problems.empty());
    for (const std::string& file : {std::string("[Startup]\r\nCount=-1\r\n"), std::string("x\0y", 3),
                                    std::string("[Startup]\r\nCount=0\r\n[AP0]\r\nExePath=C:\\a\r\n")}) {
        const AGENT_QUEUE queue = Parse(file);
        EXPECT_TRUE(queue.requests.empty());
        EXPECT_FALSE(queue.problems.empty()) << file;
    }
}

TEST(AgentQueue, AHugeFileIsNotRead)
{
    std::string good = "[Startup]\r\nCount=1\r\n[AP0]\r\nExePath=C:\\a\r\nCmdLine=/Service\r\n";
    std::string padded = good + std::string(AGENT_REQUEST_FILE_MAX_BYTES - good.size(), ' ');
    EXPECT_EQ(1u, Parse(padded).requests.size()) << "exactly at the limit";
    padded += ' ';
    EXPECT_TRUE(Parse(padded).requests.empty());
    EXPECT_FALSE(Parse(padded).problems.empty());
    // Only the first bytes were read, but the file is larger.
    EXPECT_TRUE(ParseAgentQueue(good, 5u * 1024 * 1024 * 1024).requests.empty());
}

TEST(AgentQueue, CountAsGetPrivateProfileIntReadsIt)
{
    const struct {
        const char* text;
        long long llValue;
    } cases[] = {{"0", 0},      {"7", 7},        {"  12", 12},      {"+3", 3},     {"-4", -4},   {"12abc", 12},
                 {"abc", 0},    {"", 0},         {"2147483647", 2147483647LL}, {"2147483648", 2147483648LL},
                 {"-99999999999999999999999", -2147483648LL}, {"3 4", 3}};
    for (const auto& c : cases)
        EXPECT_EQ(c.llValue, ParseProfileCount(c.text)) << "[" << c.text << "]";
}

TEST(AgentRequest, OnlyTheAgentsOwnTillvoxWithTheProgramsArguments)
{
    const struct {
        const char* what;
        std::string exePath;
        std::string expanded;  // empty: the same as exePath
        const char* cmdLine;   // nullptr: no CmdLine key
        AGENT_VERDICT verdict;
    } cases[] = {
        {"the program's own request", ALLOWED, "", "/Service /Monitor", VERDICT_START},
        {"without monitor mode", ALLOWED, "", "/Service", VERDICT_START},
        {"other case", "c:\\PROGRAM FILES (X86)\\orvane\\TILLVOX\\tillvox.EXE", "", "/Service", VERDICT_START},
        {"forward and doubled separators", "C:/Program Files (x86)//Orvane\\\\Tillvox/Tillvox.exe", "", "/Service",
         VERDICT_START},
        {"dot segments inside the folder", "C:\\Program Files (x86)\\Orvane\\.\\Other\\..\\Tillvox\\Tillvox.exe", "",
         "/Service", VERDICT_START},
        {"trailing dots and blanks Windows drops", ALLOWED + ". .", "", "/Service", VERDICT_START},
        {"short names expanded", "C:\\PROGRA~2\\Orvane\\Tillvox\\Tillvox.exe", ALLOWED, "/Service", VERDICT_START},
        {"short names that could not be expanded", "C:\\PROGRA~2\\Orvane\\Tillvox\\Tillvox.exe", "", "/Service",
         VERDICT_OTHER_PROGRAM},
        {"another program", "C:\\Windows\\System32\\cmd.exe", "", "/Service", VERDICT_OTHER_PROGRAM},
        {"a Tillvox.exe in another folder", "C:\\Users\\Public\\Tillvox.exe", "", "/Service", VERDICT_OTHER_PROGRAM},
        {"escape with ..", "C:\\Program Files (x86)\\Orvane\\Tillvox\\..\\Evil\\Tillvox.exe", "", "/Service",
         VERDICT_OTHER_PROGRAM},
        {"escape to the system", "C:\\Program Files (x86)\\Orvane\\Tillvox\\..\\..\\..\\Windows\\System32\\cmd.exe", "",
         "/Service", VERDICT_OTHER_PROGRAM},
        {"a longer name", ALLOWED + ".bat", "", "/Service", VERDICT_OTHER_PROGRAM},
        {"above the root", "C:\\..\\..\\Program Files (x86)\\Orvane\\Tillvox\\Tillvox.exe", "", "/Service",
         VERDICT_BAD_PATH},
        {"relative", "Tillvox.exe", "", "/Service", VERDICT_BAD_PATH},
        {"relative to the drive", "C:Tillvox.exe", "", "/Service", VERDICT_BAD_PATH},
        {"a share", "\\\\server\\share\\Tillvox.exe", "", "/Service", VERDICT_BAD_PATH},
        {"a stream", ALLOWED + ":evil.exe", "", "/Service", VERDICT_BAD_PATH},
        {"quotes and a command", "\"" + ALLOWED + "\" & calc.exe", "", "/Service", VERDICT_BAD_PATH},
        {"wildcards", "C:\\Program Files (x86)\\Orvane\\Tillvox\\Till*.exe", "", "/Service", VERDICT_BAD_PATH},
        {"empty path", "", "", "/Service", VERDICT_BAD_PATH},
        {"no arguments", ALLOWED, "", nullptr, VERDICT_BAD_ARGUMENTS},
        {"empty arguments", ALLOWED, "", "", VERDICT_BAD_ARGUMENTS},
        {"an extra argument", ALLOWED, "", "/Service /Monitor /x", VERDICT_BAD_ARGUMENTS},
        {"a chained command", ALLOWED, "", "/Service & calc.exe", VERDICT_BAD_ARGUMENTS},
        {"other case", ALLOWED, "", "/service", VERDICT_BAD_ARGUMENTS},
        {"other order", ALLOWED, "", "/Monitor /Service", VERDICT_BAD_ARGUMENTS},
        {"doubled blank", ALLOWED, "", "/Service  /Monitor", VERDICT_BAD_ARGUMENTS},
        {"monitor alone", ALLOWED, "", "/Monitor", VERDICT_BAD_ARGUMENTS},
    };
    for (const auto& c : cases) {
        AGENT_REQUEST request;
        request.strExePath = c.exePath;
        request.bHasCmdLine = c.cmdLine != nullptr;
        request.strCmdLine = c.cmdLine ? c.cmdLine : "";
        EXPECT_EQ(c.verdict, JudgeAgentRequest(request, c.expanded.empty() ? c.exePath : c.expanded, ALLOWED))
            << c.what << ": " << c.exePath << " " << (c.cmdLine ? c.cmdLine : "<none>");
    }
}

TEST(AgentRequest, AnUnusableAllowedPathAllowsNothing)
{
    AGENT_REQUEST request;
    request.strExePath = "Tillvox.exe";
    request.strCmdLine = "/Service";
    request.bHasCmdLine = true;
    EXPECT_NE(VERDICT_START, JudgeAgentRequest(request, request.strExePath, "Tillvox.exe"));
    request.strExePath = "C:\\x\\Tillvox.exe";
    EXPECT_NE(VERDICT_START, JudgeAgentRequest(request, request.strExePath, ""));
}

TEST(AgentRequest, PathsInOneSpelling)
{
    const struct {
        const char* path;
        const char* normal;
    } cases[] = {
        {"C:\\A\\b.exe", "c:\\a\\b.exe"},
        {"c:/a//B/./c/../d.EXE", "c:\\a\\b\\d.exe"},
        {"D:\\", "d:\\"},
        {"C:\\a\\..", "c:\\"},
        {"C:\\a\\..\\..", ""},
        {"C:\\a\\...\\b", ""},
        {"C:\\a\\b.exe:x", ""},
        {"C:\\a\\b\x01.exe", ""},
        {"1:\\a", ""},
        {"C:", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.normal, NormalizeWindowsPath(c.path)) << c.path;
}

TEST(AgentToken, NeverWithoutAConsoleUserAndFullRightsForAnAdministrator)
{
    const struct {
        bool bHaveUser;
        int nType;
        bool bLinked;
        AGENT_TOKEN_CHOICE choice;
    } cases[] = {
        {false, AGENT_ELEVATION_LIMITED, true, TOKEN_WAIT_FOR_USER},
        {false, AGENT_ELEVATION_DEFAULT, false, TOKEN_WAIT_FOR_USER},
        {true, AGENT_ELEVATION_LIMITED, true, TOKEN_USER_LINKED},   // administrator under user account control
        {true, AGENT_ELEVATION_LIMITED, false, TOKEN_USER_OWN},     // its full half cannot be had
        {true, AGENT_ELEVATION_DEFAULT, false, TOKEN_USER_OWN},     // standard user
        {true, AGENT_ELEVATION_DEFAULT, true, TOKEN_USER_OWN},
        {true, AGENT_ELEVATION_FULL, true, TOKEN_USER_OWN},         // already full
        {true, 0, false, TOKEN_USER_OWN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.choice, ChooseAgentToken(c.bHaveUser, c.nType, c.bLinked))
            << c.bHaveUser << " " << c.nType << " " << c.bLinked;
}

TEST(AgentPending, KeptUntilTakenOnceAndBounded)
{
    CPendingStarts pending;
    EXPECT_TRUE(pending.IsEmpty());
    std::vector<AGENT_REQUEST> three(3);
    for (int i = 0; i < 3; ++i)
        three[i].nIndex = i;
    EXPECT_EQ(0u, pending.Add(three));
    EXPECT_EQ(0u, pending.Add({three[0]}));
    const std::vector<AGENT_REQUEST> taken = pending.TakeAll();
    ASSERT_EQ(4u, taken.size());
    EXPECT_EQ(2, taken[2].nIndex);
    EXPECT_TRUE(pending.IsEmpty());
    EXPECT_TRUE(pending.TakeAll().empty());

    const std::vector<AGENT_REQUEST> many(AGENT_MAX_STARTS_PER_BATCH + 5);
    EXPECT_EQ(5u, pending.Add(many));
    EXPECT_EQ(AGENT_MAX_STARTS_PER_BATCH, pending.Size());
    EXPECT_EQ(1u, pending.Add({three[0]}));
}

TEST(AgentPending, WithoutAUserKeptUntilOneLogsOnThenStartedOnce)
{
    bool bUserAtConsole = false;
    std::vector<int> started;
    int nFailOn = -1;
    const auto start = [&](const AGENT_REQUEST& request) {
        if (!bUserAtConsole)
            return AGENT_START_NO_USER;
        if (request.nIndex == nFailOn)
            return AGENT_START_FAILED;
        started.push_back(request.nIndex);
        return AGENT_START_DONE;
    };
    std::vector<AGENT_REQUEST> requests(3);
    for (int i = 0; i < 3; ++i)
        requests[i].nIndex = i;

    CPendingStarts pending;
    pending.Add(requests);
    pending.StartAll(start);
    pending.StartAll(start);  // a retry while still nobody is there
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(3u, pending.Size());

    bUserAtConsole = true;
    pending.StartAll(start);
    EXPECT_EQ(std::vector<int>({0, 1, 2}), started);
    EXPECT_TRUE(pending.IsEmpty());
    pending.StartAll(start);  // the next logon
    EXPECT_EQ(3u, started.size()) << "each carried out once";

    // The user logs off in the middle of a batch: the rest waits; a failed start is not tried again.
    started.clear();
    nFailOn = 1;
    std::vector<AGENT_REQUEST> more(4);
    for (int i = 0; i < 4; ++i)
        more[i].nIndex = 10 + i;
    more[1].nIndex = 1;
    pending.Add(more);
    int nCalls = 0;
    pending.StartAll([&](const AGENT_REQUEST& request) {
        if (++nCalls == 3)
            bUserAtConsole = false;
        return start(request);
    });
    EXPECT_EQ(std::vector<int>({10}), started);
    EXPECT_EQ(2u, pending.Size());
    bUserAtConsole = true;
    pending.StartAll(start);
    EXPECT_EQ(std::vector<int>({10, 12, 13}), started);
    EXPECT_TRUE(pending.IsEmpty());
}
