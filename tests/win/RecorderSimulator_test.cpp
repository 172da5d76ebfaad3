// The DVR simulator as the recorder: what it writes equals, byte for byte,
// what the sources delivered.
#include "app/CaptureEngine.h"
#include "tests/support/Bytes.h"
#include "tests/support/EngineHost.h"
#include "tests/support/Loopback.h"
#include "tests/support/NativeTool.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(RecorderSimulator, ReceivesTheWholeStreamInOrderAcrossManyChunks)
{
    CWinsockInit winsock;
    CEngineHost host;
    CCaptureEngine engine(host);
    host.pEngine = &engine;
    engine.LoadTexts();
    const unsigned short port = FindFreeLoopbackPort();
    auto r = std::make_unique<POS_SETTING_INFO>();
    r->nMonitorType = KIND_FILE;
    r->ePrinterType = PRINTER_TYPE::Tcp;
    r->strPort = std::to_string(port);
    r->strPassword = "shop 12";
    engine.AddSource(std::move(r));
    engine.Start();

    // Some text waits before the recorder logs in; the rest comes in pieces of many sizes.
    std::string delivered = Piece(5000, 1);
    engine.Deliver(0, reinterpret_cast<const uint8_t*>(delivered.data()), static_cast<int>(delivered.size()));

    CSharedTempFolder folder;
    std::string pieces;
    for (int k = 0; k < 40; ++k) pieces += Piece(static_cast<size_t>(1 + (k * 397) % 4000), k + 2);
    const size_t total = delivered.size() + pieces.size();
    ASSERT_TRUE(StartNativeTool("dvrsim", "127.0.0.1:" + std::to_string(port) +
                                              " --password \"shop 12\" --retry-ms 5000 --quiet --idle-exit-ms 20000"
                                              " --max-bytes " + std::to_string(total) +
                                              " --out " + folder.UnixPath("received.txt")));
    ASSERT_TRUE(host.WaitForStatus(0, engine.m_strConnected, 15s));

    size_t at = 0;
    for (int k = 0; k < 40; ++k) {
        const size_t size = static_cast<size_t>(1 + (k * 397) % 4000);
        engine.Deliver(0, reinterpret_cast<const uint8_t*>(pieces.data() + at), static_cast<int>(size));
        at += size;
        Sleep(20);
    }
    delivered += pieces;
    const std::string received = WaitForFileOfSize(folder.WindowsPath("received.txt"), total, 30000);
    ASSERT_EQ(delivered.size(), received.size());
    EXPECT_TRUE(delivered == received) << "the simulator undoes the swap: it must see the captured bytes";
    engine.Stop();
}
