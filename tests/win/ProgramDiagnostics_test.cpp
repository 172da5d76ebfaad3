// The real Tillvox.exe driven as a shop drives it (receipts, a till that is no
// source's, a recorder with a wrong password again and again, a queue that
// overflows while no recorder is there), then read from outside as an
// installer reads it: the log file, the event log and the metrics files.
#include "base/IniProfile.h"
#include "tests/support/Bytes.h"
#include "tests/support/Loopback.h"
#include "tests/support/ProgramEventLog.h"
#include "tests/support/ProgramFixture.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/SourceRecords.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TopWindows.h"

#include <gtest/gtest.h>

#include <iostream>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

namespace {

const char PASSWORD[] = "back till";
const int WRONG_LOGINS = 20;

struct ProgramDiagnosticsFixture : CProgramFixture {
    CTempFolder secondFolder;
    unsigned short clientPort = FindFreeLoopbackPort();
    unsigned short recorderPort = FindFreeLoopbackPort();

    ProgramDiagnosticsFixture()
    {
        // Earlier runs in this prefix wrote their own lines.
        for (const char* name : {"Tillvox.log", "Tillvox.1.log", "Tillvox.2.log", "Tillvox.3.log", "Tillvox.4.log",
                 "metrics.prom"})
            DeleteFileA((ProgramDataFolder() + name).c_str());
        WriteProgramSettings({TcpNetworkSource("127.0.0.1", clientPort, recorderPort, PASSWORD)});
        WritePrivateProfileStringA("Metrics", "Folder", secondFolder.Path().c_str(), ProgramSettingsPath().c_str());
    }
};

// Adds the program's open caution boxes to the set.
void CollectCautionBoxes(DWORD dwProcessId, const std::string& strCaption, std::set<HWND>& seen)
{
    for (HWND hWnd : VisibleTopWindowsCaptioned(strCaption, dwProcessId))
        if (IsDialogWindow(hWnd))
            seen.insert(hWnd);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

size_t CountContaining(const std::vector<std::string>& lines, const std::string& part)
{
    size_t n = 0;
    for (const auto& line : lines) n += line.find(part) != std::string::npos ? 1 : 0;
    return n;
}

// The metrics file once it holds the text, or what it holds after the time.
std::string WaitForMetrics(const std::string& path, const std::vector<std::string>& parts, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    std::string text;
    for (;;) {
        text = ReadWholeFile(path);
        bool bAll = true;
        for (const auto& part : parts) bAll = bAll && text.find(part) != std::string::npos;
        if (bAll || GetTickCount() - start > timeoutMs) return text;
        Sleep(250);
    }
}

// The text of the first log line that contains part, from the source's name on.
std::string FirstLogged(const std::vector<std::string>& lines, const std::string& level, const std::string& part)
{
    for (const auto& line : lines) {
        const size_t at = line.find(" " + level + " ");
        if (line.find(part) != std::string::npos && at != std::string::npos) {
            std::string text = line.substr(at + level.size() + 2);
            if (!text.empty() && text.back() == '\r') text.pop_back();
            return text;
        }
    }
    return "(no " + level + " line with " + part + ")";
}

// The entries once one of them is text, or what there is after the time.
bool WaitForEntry(const CProgramEventLog& eventLog, const std::string& text, DWORD timeoutMs,
    std::vector<PROGRAM_EVENT>& entries, std::string& strWhyNot)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (!eventLog.Read(entries, strWhyNot))
            return false;
        for (const auto& entry : entries)
            if (entry.strText == text) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(500);
    }
}

}  // namespace

TEST_F(ProgramDiagnosticsFixture, WhatHappenedIsInTheLogTheEventLogAndTheMetrics)
{
    CProgramEventLog eventLog;
    eventLog.Begin();
    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service /Monitor"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    ASSERT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_WAIT_CONNECT")));

    // A receipt from the source's own till reaches the logged-in recorder, which acknowledges it.
    const std::string receipt = "CAPPUCCINO 3.20\r\nTOTAL 3.20\r\n";
    std::string recorderAddress;
    {
        CRecorderPeer recorder;
        ASSERT_TRUE(recorder.Connect(recorderPort));
        recorderAddress = "127.0.0.1:" + std::to_string(recorder.LocalPort());
        ASSERT_EQ(67u, recorder.Login(PASSWORD).size());
        ASSERT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_CONNECTED")));
        CLoopbackClient till;
        ASSERT_TRUE(till.Connect(clientPort));
        ASSERT_TRUE(till.SendAll(receipt));
        ASSERT_EQ(Swapped(receipt), recorder.ReceiveUpTo(receipt.size(), 10000));
        ASSERT_TRUE(recorder.Ack());
        const std::string metrics = WaitForMetrics(ProgramDataFolder() + "metrics.prom",
            {"tillvox_acknowledged_bytes_total{source=\"POS1\"} " + std::to_string(receipt.size()) + "\n"}, 40000);
        EXPECT_NE(std::string::npos, metrics.find("tillvox_recorder_logged_in{source=\"POS1\"} 1\n")) << metrics;
        till.Close();
        recorder.Close();
        ASSERT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_WAIT_CONNECT")));
    }

    // A till at an address that is no source's.
    {
        CLoopbackClient stranger;
        ASSERT_TRUE(stranger.Connect(clientPort, 5000, "127.0.0.2"));
        EXPECT_TRUE(stranger.WaitPeerClose(5000)) << "a till that is no source's is closed at once";
    }

    // A recorder set up with another password tries again and again; nobody
    // is at the PC to close the warning.
    std::set<HWND> boxes;
    for (int k = 0; k < WRONG_LOGINS; ++k) {
        CRecorderPeer wrong;
        ASSERT_TRUE(wrong.Connect(recorderPort));
        EXPECT_EQ("LinErr", wrong.Login("front till").substr(0, 6));
        EXPECT_TRUE(wrong.WaitPeerClose(5000));
        CollectCautionBoxes(program.ProcessId(), Text("IDS_CAUTION"), boxes);
    }
    for (int k = 0; k < 40 && boxes.empty(); ++k) {
        Sleep(50);
        CollectCautionBoxes(program.ProcessId(), Text("IDS_CAUTION"), boxes);
    }
    std::cout << "[ measured ] " << WRONG_LOGINS << " wrong logins raised " << boxes.size() << " caution box(es)\n";
    EXPECT_EQ(1u, boxes.size()) << "one box per source at a time, whatever the flood";

    // The till floods the queue while no recorder is there.
    {
        CLoopbackClient till;
        ASSERT_TRUE(till.Connect(clientPort));
        ASSERT_TRUE(till.SendAll(Piece(600 * 1024, 3)));
        till.Close();
    }

    const std::string running = WaitForMetrics(ProgramDataFolder() + "metrics.prom",
        {"tillvox_refused_connections_total{source=\"POS1\",reason=\"wrong_password\"} " +
                std::to_string(WRONG_LOGINS) + "\n",
            "tillvox_refused_connections_total{source=\"POS1\",reason=\"unknown_till\"} 1\n"},
        40000);
    EXPECT_NE(std::string::npos, running.find("tillvox_output_connected{source=\"POS1\"} 1\n")) << running;
    EXPECT_NE(std::string::npos, running.find("tillvox_recorder_logged_in{source=\"POS1\"} 0\n")) << running;
    std::smatch queued;
    ASSERT_TRUE(std::regex_search(running, queued, std::regex("tillvox_queue_bytes\\{source=\"POS1\"\\} (\\d+)\n")));
    EXPECT_GT(std::stoll(queued[1].str()), 400000) << "the queue is full";
    EXPECT_EQ(running, ReadWholeFile(secondFolder.File("metrics.prom"))) << "the second folder gets the same text";

    // The event log: the flood made one entry; the count of the logins held
    // back is entered once its minute is over.
    const std::string heldBack = "POS1: wrong password happened " + std::to_string(WRONG_LOGINS - 1) +
        " more times since the previous entry";
    std::vector<PROGRAM_EVENT> events;
    std::string whyNot;
    EXPECT_TRUE(WaitForEntry(eventLog, heldBack, 100000, events, whyNot)) << whyNot;

    for (HWND hBox : boxes) PostMessageA(hBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    PostMessageA(hMain, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(20000));

    // The last figures are written as the program ends, to both folders.
    const std::string metrics = ReadWholeFile(ProgramDataFolder() + "metrics.prom");
    EXPECT_EQ(metrics, ReadWholeFile(secondFolder.File("metrics.prom")));
    const std::string dropped = "tillvox_dropped_bytes_total{source=\"POS1\"} ";
    ASSERT_NE(std::string::npos, metrics.find(dropped)) << metrics;
    const long long nDropped = std::stoll(metrics.substr(metrics.find(dropped) + dropped.size()));
    const long long nCaptured = static_cast<long long>(receipt.size() + 600 * 1024);
    EXPECT_NE(std::string::npos, metrics.find("tillvox_captured_bytes_total{source=\"POS1\"} " +
                                              std::to_string(nCaptured) + "\n")) << metrics;
    std::smatch queuedAtEnd;
    const std::regex queueBytes("tillvox_queue_bytes\\{source=\"POS1\"\\} (\\d+)\n");
    ASSERT_TRUE(std::regex_search(metrics, queuedAtEnd, queueBytes));
    EXPECT_EQ(nCaptured - static_cast<long long>(receipt.size()), nDropped + std::stoll(queuedAtEnd[1].str()))
        << "every byte captured was acknowledged, is queued or was counted as dropped";
    const std::vector<std::string> exact = {
        "tillvox_sent_bytes_total{source=\"POS1\"} " + std::to_string(receipt.size()),
        "tillvox_recorder_reconnects_total{source=\"POS1\"} 0",
        "tillvox_refused_connections_total{source=\"POS1\",reason=\"junk\"} 0",
    };
    for (const std::string& line : exact)
        EXPECT_NE(std::string::npos, metrics.find(line + "\n")) << line << "\n" << metrics;
    EXPECT_EQ(std::string::npos, metrics.find("tillvox_last_acknowledgement_timestamp_seconds{source=\"POS1\"} 0\n"));
    const std::regex buildInfo("\ntillvox_build_info\\{version=\"\\d+\\.\\d+\\.\\d+\\.\\d+\"\\} 1\n");
    EXPECT_TRUE(std::regex_search(metrics, buildInfo)) << metrics;

    // The log, one line per event with its local time and the source's name.
    const std::vector<std::string> lines = Lines(ReadWholeFile(ProgramDataFolder() + "Tillvox.log"));
    ASSERT_FALSE(lines.empty());
    const std::regex shape(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (info|warning|error) (Tillvox|POS1): .+\r");
    for (const auto& line : lines) EXPECT_TRUE(std::regex_match(line, shape)) << line;
    const std::string port = " on TCP port " + std::to_string(recorderPort);
    const struct { std::string part; size_t count; } expected[] = {
        {" info Tillvox: program starts, version ", 1},
        {" info Tillvox: capture starts with 1 sources", 1},
        {" info POS1: recorder logged in from " + recorderAddress, 1},
        {" info POS1: recorder connection from " + recorderAddress + " dropped: closed by the peer", 1},
        {" info POS1: till connected from 127.0.0.1", 2},
        {" warning POS1: till connection from 127.0.0.2 on TCP port " + std::to_string(clientPort) +
                " refused: no source has this address", 1},
        {" warning POS1: wrong password from 127.0.0.1:", static_cast<size_t>(WRONG_LOGINS)},
        {" warning POS1: queue full (", 1},
        {" info Tillvox: capture stopped", 1},
        {" info Tillvox: program ends", 1},
    };
    for (const auto& e : expected) EXPECT_EQ(e.count, CountContaining(lines, e.part)) << e.part;
    EXPECT_EQ(static_cast<size_t>(WRONG_LOGINS), CountContaining(lines, port + ": refused"));
    EXPECT_NE(std::string::npos, lines.back().find("program ends")) << lines.back();

    // Warnings only, each kind once within its minute, none for receipts,
    // logins or tills that belong to the source.
    ASSERT_TRUE(eventLog.Read(events, whyNot)) << whyNot;
    std::multiset<std::string> entered;
    for (const auto& entry : events) {
        EXPECT_FALSE(entry.bError) << entry.strText;
        entered.insert(entry.strText);
    }
    const std::multiset<std::string> expectedEntries = {
        FirstLogged(lines, "warning", "refused: no source has this address"),
        FirstLogged(lines, "warning", "wrong password from"),
        heldBack,
        FirstLogged(lines, "warning", "queue full ("),
    };
    EXPECT_EQ(expectedEntries, entered);
    EXPECT_EQ("POS1: till connection from 127.0.0.2 on TCP port " + std::to_string(clientPort) +
            " refused: no source has this address",
        FirstLogged(lines, "warning", "refused: no source has this address"));
}
