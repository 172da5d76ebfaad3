// The ways printer drivers write their receipt files, each with the real
// directory watcher on a real file and a recorder logged in over TCP: every
// receipt reaches the recorder, and only once.
#include "app/CaptureEngine.h"
#include "tests/support/Bytes.h"
#include "tests/support/EngineHost.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr unsigned RECEIVE_DEADLINE_MS = 10000;
// How long the recorder listens for anything sent twice after the last receipt.
constexpr unsigned NOTHING_MORE_MS = 1000;

std::string Receipt(const std::string& name)
{
    return "*** " + name + " ***\r\nCOFFEE        2.40\r\nBAGEL         1.90\r\nTOTAL         4.30\r\n";
}

std::string WithoutZeros(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    return text;
}

void WriteWithHandle(const std::string& path, DWORD dwShare, DWORD dwDisposition, const std::string& text,
                     DWORD dwHoldMs)
{
    const HANDLE hFile = CreateFileA(path.c_str(), GENERIC_WRITE, dwShare, nullptr, dwDisposition,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile) << GetLastError();
    if (dwDisposition == OPEN_ALWAYS)
        SetFilePointer(hFile, 0, nullptr, FILE_END);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(hFile, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    Sleep(dwHoldMs);
    CloseHandle(hFile);
}

// One write of a driver, and the receipt text the recorder must get for it.
struct DRIVER_STEP {
    const char* szWhat;
    std::function<void()> write;
    std::string strExpected;
};

struct DRIVER_CASE {
    const char* szName;
    int nReceiptType;
    std::vector<DRIVER_STEP> steps;
};

struct DriverFixture : ::testing::Test {
    CWinsockInit winsock;
    CTempFolder folder;
    std::string path = folder.File("receipt.txt");
    const std::string start = "RECEIPT PRINTED BEFORE THE START, NOT SENT\r\n";

    std::vector<DRIVER_CASE> Cases()
    {
        const std::string r1 = Receipt("RECEIPT 1"), r2 = Receipt("RECEIPT 2"), r3 = Receipt("RECEIPT 3");
        const std::string header = "*** RECEIPT 4 ***\r\n", body = "TEA           1.80\r\nTOTAL         1.80\r\n";
        const std::vector<std::string> lines = {"*** RECEIPT 5 ***\r\n", "SOUP          3.20\r\n",
                                                "BREAD         0.90\r\n", "WATER         1.10\r\n",
                                                "TOTAL         5.20\r\n", "CARD          5.20\r\n"};
        auto append = [this](const std::string& text) { return [this, text] { AppendToFile(path, text); }; };
        auto rewrite = [this](const std::string& text) { return [this, text] { WriteWholeFile(path, text); }; };
        auto renameOnto = [this](const std::string& text) {
            return [this, text] {
                const std::string incoming = folder.File("receipt.tmp");
                WriteWholeFile(incoming, text);
                // No file can be replaced while someone reads it (the capture,
                // a virus scanner): a driver tries again a moment later.
                bool bMoved = false;
                for (int k = 0; k < 100 && !bMoved; ++k) {
                    bMoved = MoveFileExA(incoming.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
                    if (!bMoved)
                        Sleep(10);
                }
                ASSERT_TRUE(bMoved) << GetLastError();
            };
        };
        auto crowd = [this](const std::string& prefix, int count) {
            return [this, prefix, count] {
                for (int k = 0; k < count; ++k)
                    WriteWholeFile(folder.File(prefix + "-spool-file-with-a-long-name-" + std::to_string(k) + ".tmp"),
                                   "x");
            };
        };
        // The same length as the start text and the first receipt together.
        const std::string sameLength = Receipt("REWRITTEN IN PLACE").substr(0, 10) +
                                       std::string(start.size() + r1.size() - 10, 'z');
        const std::string longer = Receipt("FILE RE-CREATED") + std::string(start.size() + r1.size(), 'y') + "\r\n";
        return {
            {"written elsewhere and renamed into place", 0,
             {{"first", renameOnto(r1), r1}, {"second", renameOnto(r2), r2}, {"then appended", append(r3), r3}}},
            {"appended by a writer that holds the file alone for 400 ms", 0,
             {{"plain append", append(r1), r1},
              {"held", [this, r2] { WriteWithHandle(path, 0, OPEN_ALWAYS, r2, 400); }, r2},
              {"plain append", append(r3), r3}}},
            {"refresh mode, each receipt written in two steps 8 ms apart, sequential type", 1,
             {{"rewritten", rewrite(r1), r1},
              {"two steps",
               [this, header, body] {
                   WriteWholeFile(path, header);
                   Sleep(8);
                   AppendToFile(path, body);
               },
               header + body},
              {"line by line, 5 ms apart",
               [this, lines] {
                   WriteWholeFile(path, lines[0]);
                   for (size_t k = 1; k < lines.size(); ++k) {
                       Sleep(5);
                       AppendToFile(path, lines[k]);
                   }
               },
               lines[0] + lines[1] + lines[2] + lines[3] + lines[4] + lines[5]}}},
            {"append mode, deleted and re-created longer", 0,
             {{"appended", append(r1), r1},
              {"re-created",
               [this, longer] {
                   ASSERT_TRUE(DeleteFileA(path.c_str()));
                   WriteWholeFile(path, longer);
               },
               longer},
              {"appended", append(r3), r3}}},
            {"append mode, rewritten in place with the same length", 0,
             {{"appended", append(r1), r1},
              {"rewritten in place",
               [this, sameLength] { WriteWithHandle(path, FILE_SHARE_READ, OPEN_EXISTING, sameLength, 0); },
               sameLength},
              {"appended", append(r3), r3}}},
            {"a reprint: the same receipt appended again", 0,
             {{"receipt", append(r1), r1}, {"reprint", append(r1), r1}, {"next", append(r2), r2}}},
            {"refresh mode, sequential type, thousands of other files written beside it", 1,
             {{"rewritten", rewrite(r1), r1},
              {"400 files", crowd("a", 400), ""},
              {"1600 files", crowd("b", 1600), ""},
              {"rewritten", rewrite(r2), r2}}},
        };
    }
};

}  // namespace

// Alone in its folder, the source's changes are taken on the folder's
// watcher; beside another till's file, on a worker of the source's own.
TEST_F(DriverFixture, EveryReceiptReachesTheRecorderOnce)
{
    for (const bool bBesideAnotherTill : {false, true})
    for (const DRIVER_CASE& c : Cases()) {
        SCOPED_TRACE(std::string(c.szName) + (bBesideAnotherTill ? ", beside another till's file" : ""));
        WriteWholeFile(path, start);
        CEngineHost host;
        CCaptureEngine engine{host};
        host.pEngine = &engine;
        engine.LoadTexts();
        const unsigned short port = FindFreeLoopbackPort();
        auto addSource = [&](const std::string& strFile, unsigned short nPort) {
            auto r = std::make_unique<POS_SETTING_INFO>();
            r->nMonitorType = KIND_FILE;
            r->nReceiptType = c.nReceiptType;
            r->strFilePath = strFile;
            r->ePrinterType = PRINTER_TYPE::Tcp;
            r->strPort = std::to_string(nPort);
            r->strPassword = "pw";
            engine.AddSource(std::move(r));
        };
        addSource(path, port);
        if (bBesideAnotherTill) {
            WriteWholeFile(folder.File("other-till.txt"), "");
            addSource(folder.File("other-till.txt"), FindFreeLoopbackPort());
        }
        engine.Start();
        CRecorderPeer peer;
        ASSERT_TRUE(peer.Connect(port));
        ASSERT_EQ(67u, peer.Login("pw").size());
        ASSERT_TRUE(host.WaitForStatus(0, engine.m_strConnected, 10s));

        std::string received;
        std::string expected;
        for (const DRIVER_STEP& step : c.steps) {
            SCOPED_TRACE(step.szWhat);
            step.write();
            expected += step.strExpected;
            // A receipt may come in more than one piece (each ends in a zero
            // byte), as its writes were seen; its text must come whole and once.
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(RECEIVE_DEADLINE_MS);
            while (WithoutZeros(received).size() < expected.size() && std::chrono::steady_clock::now() < giveUp) {
                ASSERT_TRUE(peer.Ack());
                received += Swapped(peer.ReceiveSome(4096, 200));
            }
            EXPECT_EQ(expected, WithoutZeros(received));
            if (!step.strExpected.empty()) {
                EXPECT_TRUE(!received.empty() && received.back() == '\0') << "the last piece ends in its zero byte";
            }
        }
        ASSERT_TRUE(peer.Ack());
        EXPECT_EQ("", peer.ReceiveUpTo(1, NOTHING_MORE_MS)) << "nothing twice";
        engine.Stop();
    }
}
