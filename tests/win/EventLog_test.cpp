// Entries for the Windows Application event log, and the message table that
// lets Event Viewer show their text.
#include "base/EventLog.h"

#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::wstring WideFromAnsi(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// The message of id from a module's message table with one insertion string,
// or "(none)" when the table has no such message.
std::wstring FormatFromModule(HMODULE hModule, DWORD dwId, const wchar_t* insert)
{
    DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(insert)};
    wchar_t* buffer = nullptr;
    const DWORD nChars = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
            FORMAT_MESSAGE_ARGUMENT_ARRAY, hModule, dwId, 0, reinterpret_cast<wchar_t*>(&buffer), 0,
        reinterpret_cast<va_list*>(args));
    if (nChars == 0)
        return L"(none)";
    std::wstring text(buffer, nChars);
    LocalFree(buffer);
    return text;
}

}  // namespace

// The setup program names Tillvox.exe as the source's message file: each of
// the three ids shows the entry's text as it was written.
TEST(EventLog, TheProgramCarriesTheMessageTable)
{
    const std::string exe = UnixToWindowsPath(EnvironmentValue("TILLVOX_BIN_DIR") + "/Tillvox.exe");
    HMODULE hModule = LoadLibraryExW(WideFromAnsi(exe).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, hModule) << exe << " error " << GetLastError();
    const struct { DWORD id; const wchar_t* shown; } cases[] = {
        {1, L"POS3: started\r\n"},
        {2, L"POS3: wrong password from 127.0.0.9\r\n"},
        {3, L"POS3: COM6 could not be opened (error 2)\r\n"},
    };
    for (const auto& c : cases) {
        std::wstring insert(c.shown);
        insert.resize(insert.size() - 2);
        EXPECT_EQ(std::wstring(c.shown), FormatFromModule(hModule, c.id, insert.c_str())) << "id " << c.id;
    }
    EXPECT_EQ(L"(none)", FormatFromModule(hModule, 4, L"x"));
    FreeLibrary(hModule);
}

TEST(EventLog, AFloodMakesOneEntryAMinute)
{
    int64_t nNowMs = 1000;
    CEventLog log(L"Tillvox", [&nNowMs] { return nNowMs; });
    EXPECT_FALSE(log.Report(LOG_LEVEL::LEVEL_INFO, "POS1", "started", "started")) << "information stays in the file";
    EXPECT_TRUE(log.Report(LOG_LEVEL::LEVEL_WARNING, "POS1", "wrong password", "wrong password from 127.0.0.9"));
    for (int i = 0; i < 28; ++i) {
        nNowMs += 700;
        EXPECT_FALSE(log.Report(LOG_LEVEL::LEVEL_WARNING, "POS1", "wrong password", "wrong password from 127.0.0.9"));
    }
    EXPECT_TRUE(log.Report(LOG_LEVEL::LEVEL_ERROR, "POS1", "output failed", "COM6 could not be opened"));
    EXPECT_TRUE(log.Report(LOG_LEVEL::LEVEL_WARNING, "POS2", "wrong password", "wrong password from 127.0.0.9"));
    EXPECT_EQ(0, log.ReportDue());
    nNowMs = 1000 + 60 * 1000;
    EXPECT_EQ(1, log.ReportDue()) << "the 28 held back are entered once the minute is over";
    EXPECT_EQ(0, log.ReportDue());
}

// Reads the newest entries of the Application log back through the event log
// API. Wine keeps no event log of its own; the test says so when the API
// answers as an empty log.
TEST(EventLog, AnEntryCanBeReadBack)
{
    const std::string text = "event log check " + std::to_string(GetTickCount64());
    {
        CEventLog log;
        ASSERT_TRUE(log.Report(LOG_LEVEL::LEVEL_ERROR, "POS9", text, text));
    }
    HANDLE hLog = OpenEventLogW(nullptr, L"Application");
    ASSERT_NE(nullptr, hLog) << "error " << GetLastError();
    DWORD dwRecords = 0;
    const BOOL bCounted = GetNumberOfEventLogRecords(hLog, &dwRecords);
    std::vector<BYTE> buffer(0x10000);
    DWORD dwRead = 0;
    DWORD dwNeeded = 0;
    const BOOL bRead = ReadEventLogW(hLog, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer.data(),
        static_cast<DWORD>(buffer.size()), &dwRead, &dwNeeded);
    const DWORD dwError = GetLastError();
    if (!bRead && dwError == ERROR_HANDLE_EOF && (!bCounted || dwRecords == 0)) {
        CloseEventLog(hLog);
        GTEST_SKIP() << "the event log API answers as an empty log here (records " << dwRecords << ")";
    }
    ASSERT_TRUE(bRead) << "error " << dwError;
    bool bFound = false;
    const std::wstring wanted = WideFromAnsi("POS9: " + text);
    for (DWORD dwAt = 0; dwAt + sizeof(EVENTLOGRECORD) <= dwRead && !bFound;) {
        const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + dwAt);
        const auto* source = reinterpret_cast<const wchar_t*>(record + 1);
        const auto* strings = reinterpret_cast<const wchar_t*>(buffer.data() + dwAt + record->StringOffset);
        if (std::wstring(source) == L"Tillvox" && record->NumStrings == 1 && wanted == strings) {
            EXPECT_EQ(EVENTLOG_ERROR_TYPE, record->EventType);
            EXPECT_EQ(3u, record->EventID & 0xFFFF);
            bFound = true;
        }
        dwAt += record->Length;
    }
    CloseEventLog(hLog);
    EXPECT_TRUE(bFound);
}
