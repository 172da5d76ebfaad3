// Time from appending a receipt to a watched file until the recorder has its
// bytes: Tillvox (file source, TCP output, logged-in recorder that acknowledges
// every chunk) beside a reference pipeline, `tail -F FILE | socat - TCP:...`,
// into an identical receiver, in one run. Prints p50/p99; asserts nothing.
#include "app/CaptureEngine.h"
#include "tests/support/Bytes.h"
#include "tests/support/EngineHost.h"
#include "tests/support/NativeTool.h"
#include "tests/support/Process.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string Receipt(int k)
{
    std::string text = "#R" + std::to_string(k) + "#\r\n";
    while (text.size() < 500) text += "ITEM 0000001 SOME GOODS      1 x 2.50     2.50\r\n";
    text.resize(500);
    return text;
}

// Reads the stream and notes when each receipt's marker has fully arrived.
void ReceiveMarkers(CLoopbackClient* pPeer, SOCKET hRaw, bool bSwapped, bool bAck, int count,
                    std::vector<Clock::time_point>& seen)
{
    std::string stream;
    int next = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    while (next < count && Clock::now() < deadline) {
        // Both receivers take whatever has arrived, as soon as it arrives.
        std::string chunk;
        char buffer[65536];
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(hRaw, &readable);
        timeval wait = {0, 200000};
        if (select(0, &readable, nullptr, nullptr, &wait) == 1) {
            const int n = recv(hRaw, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            chunk.assign(buffer, static_cast<size_t>(n));
        }
        if (chunk.empty()) continue;
        const auto now = Clock::now();
        stream += bSwapped ? Swapped(chunk) : chunk;
        if (bAck) pPeer->SendAll("gotdata");
        while (next < count) {
            const std::string marker = "#R" + std::to_string(next) + "#";
            const size_t at = stream.find(marker);
            if (at == std::string::npos || stream.size() < at + 500) break;
            seen[static_cast<size_t>(next)] = now;
            stream.erase(0, at + 500);
            ++next;
        }
    }
}

std::vector<double> Run(const std::string& path, int count, int intervalMs, std::vector<Clock::time_point>& seen,
                        std::thread& receiver)
{
    std::vector<Clock::time_point> written(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        written[static_cast<size_t>(k)] = Clock::now();
        AppendToFile(path, Receipt(k));
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
    receiver.join();
    std::vector<double> latency;
    for (int k = 0; k < count; ++k)
        if (seen[static_cast<size_t>(k)] != Clock::time_point())
            latency.push_back(std::chrono::duration<double, std::milli>(seen[static_cast<size_t>(k)] -
                                                                         written[static_cast<size_t>(k)]).count());
    std::sort(latency.begin(), latency.end());
    return latency;
}

double Percentile(const std::vector<double>& sorted, double p)
{
    if (sorted.empty()) return -1;
    return sorted[std::min(sorted.size() - 1, static_cast<size_t>(p * static_cast<double>(sorted.size())))];
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;
    const int intervalMs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    CWinsockInit winsock;
    CSharedTempFolder folder;

    // Tillvox.
    CEngineHost host;
    CCaptureEngine engine(host);
    host.pEngine = &engine;
    engine.LoadTexts();
    const std::string tillvoxFile = folder.WindowsPath("tillvox.txt");
    WriteWholeFile(tillvoxFile, "");
    const unsigned short port = FindFreeLoopbackPort();
    auto r = std::make_unique<POS_SETTING_INFO>();
    r->nMonitorType = KIND_FILE;
    r->nReceiptType = 0;
    r->strFilePath = tillvoxFile;
    r->ePrinterType = PRINTER_TYPE::Tcp;
    r->strPort = std::to_string(port);
    r->strPassword = "bench";
    engine.AddSource(std::move(r));
    engine.Start();
    CRecorderPeer recorder;
    recorder.Connect(port);
    recorder.Login("bench");
    host.WaitForStatus(0, engine.m_strConnected, std::chrono::seconds(10));
    std::vector<Clock::time_point> tillvoxSeen(static_cast<size_t>(count));
    std::thread tillvoxReceiver(ReceiveMarkers, &recorder, recorder.Handle(), true, true, count, std::ref(tillvoxSeen));
    const std::vector<double> tillvox = Run(tillvoxFile, count, intervalMs, tillvoxSeen, tillvoxReceiver);
    engine.Stop();

    // Reference: tail -F | socat into a plain receiver.
    const std::string referenceFile = folder.WindowsPath("reference.txt");
    WriteWholeFile(referenceFile, "");
    CTimeOutSocket listener;
    listener.Create(0, "127.0.0.1");
    listener.Listen(1);
    // tail follows for ever: the pipeline leaves its process id behind, so that
    // exactly that process is ended afterwards.
    const std::string pidFile = folder.UnixPath("tail.pid");
    const std::string command = "-c \"(tail -n 0 -F " + folder.UnixPath("reference.txt") + " & echo $! > " + pidFile +
                                "; wait) | socat -u - TCP:127.0.0.1:" + std::to_string(BoundPort(listener.Handle())) +
                                "\"";
    LaunchCommand("/bin/sh " + command);
    CTimeOutSocket conn;
    listener.ArmTimeout(10000);
    listener.Accept(conn);
    listener.DisarmTimeout();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // tail is following the file
    std::vector<Clock::time_point> referenceSeen(static_cast<size_t>(count));
    std::thread referenceReceiver(ReceiveMarkers, nullptr, conn.Handle(), false, false, count, std::ref(referenceSeen));
    const std::vector<double> reference = Run(referenceFile, count, intervalMs, referenceSeen, referenceReceiver);
    conn.Close();
    const std::string tailPid = ReadWholeFile(folder.WindowsPath("tail.pid"));
    const std::string digits = tailPid.substr(0, tailPid.find_first_not_of("0123456789"));
    if (!digits.empty())
        LaunchCommand("/bin/kill " + digits);

    std::printf("%d receipts of 500 bytes, one every %d ms\n", count, intervalMs);
    std::printf("tillvox   : received %zu, p50 %.1f ms, p99 %.1f ms\n", tillvox.size(), Percentile(tillvox, 0.5),
                Percentile(tillvox, 0.99));
    std::printf("reference : received %zu, p50 %.1f ms, p99 %.1f ms  (tail -F | socat)\n", reference.size(),
                Percentile(reference, 0.5), Percentile(reference, 0.99));
    if (!reference.empty() && Percentile(reference, 0.5) > 0)
        std::printf("ratio tillvox/reference: p50 %.2f, p99 %.2f\n", Percentile(tillvox, 0.5) / Percentile(reference, 0.5),
                    Percentile(tillvox, 0.99) / Percentile(reference, 0.99));
    return 0;
}
