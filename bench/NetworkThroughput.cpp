// Throughput of network sources. Part one: one POS client streams to its
// source while a logged-in recorder acknowledges every chunk, beside a plain
// relay (socat TCP-LISTEN:a TCP:127.0.0.1:b, started by the script) into an
// identical receiver, rounds interleaved in one run. Part two: 16 clients send
// at once to 16 sources sharing one port; every byte is checked and the time
// taken printed. The recorder's side paces the first part (100 ms before each
// chunk that an acknowledgement releases), so the capture side alone is also
// measured against the relay. Prints figures; asserts nothing.
// Arguments: RELAY_PORT RELAY_TARGET_PORT [MB per round] [rounds] [MB per client in part two]
#include "app/CaptureEngine.h"
#include "tests/support/Bytes.h"
#include "tests/support/EngineHost.h"
#include "tests/support/RecorderPeer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::duration<double>>(Clock::now() - start).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

std::unique_ptr<POS_SETTING_INFO> NetworkSource(const std::string& client, unsigned short clientPort,
                                                unsigned short recorderPort)
{
    auto r = std::make_unique<POS_SETTING_INFO>();
    r->nMonitorType = KIND_NETWORK;
    r->nReceiptType = 0;
    r->nInternetType = 0;
    r->strInternetIP = client;
    r->nInternetPort = clientPort;
    r->ePrinterType = PRINTER_TYPE::Tcp;
    r->strPort = std::to_string(recorderPort);
    r->strPassword = "bench";
    return r;
}

// Reads count bytes as they arrive, acknowledging every chunk when asked to.
std::string ReceiveAll(CLoopbackClient& peer, size_t count, bool bAck)
{
    std::string received;
    received.reserve(count);
    while (received.size() < count) {
        const std::string chunk = peer.ReceiveSome(65536, 20000);
        if (chunk.empty()) break;
        received += chunk;
        if (bAck && !peer.SendAll("gotdata")) break;
    }
    return received;
}

bool SendFrom(const char* from, unsigned short port, const std::string& bytes)
{
    CLoopbackClient client;
    return client.Connect(port, 10000, from) && client.SendAll(bytes);
}

// A single-connection listener on 127.0.0.1:port, for the relay's far end.
SOCKET ListenOn(unsigned short port)
{
    const SOCKET h = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (bind(h, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(h, 5) != 0) {
        closesocket(h);
        return INVALID_SOCKET;
    }
    return h;
}

void OneSource(unsigned short relayPort, unsigned short relayTarget, size_t bytesPerRound, int rounds)
{
    CEngineHost host;
    CCaptureEngine engine(host);
    host.pEngine = &engine;
    engine.LoadTexts();
    const unsigned short clientPort = FindFreeLoopbackPort(), recorderPort = FindFreeLoopbackPort();
    engine.AddSource(NetworkSource("127.0.0.1", clientPort, recorderPort));
    engine.Start();
    CRecorderPeer recorder;
    if (!recorder.Connect(recorderPort) || recorder.Login("bench").size() != 67 ||
        !host.WaitForStatus(0, engine.m_strConnected, std::chrono::seconds(10))) {
        std::printf("recorder could not log in\n");
        return;
    }
    const SOCKET hTarget = ListenOn(relayTarget);
    const std::string payload = Piece(bytesPerRound, 1);
    const std::string swapped = Swapped(payload);
    std::vector<double> tillvox, relay;
    int wrong = 0;
    for (int round = 0; round < 2 * rounds; ++round) {
        // Every other round starts with the relay, so neither always goes first.
        const bool bRelayFirst = round % 2 == 1;
        for (int leg = 0; leg < 2; ++leg) {
            const bool bRelay = (leg == 0) == bRelayFirst;
            const auto start = Clock::now();
            std::string received;
            if (bRelay) {
                std::thread sender([&] { SendFrom(nullptr, relayPort, payload); });
                const SOCKET hConn = accept(hTarget, nullptr, nullptr);
                // A raw accepted handle read with the same code as the recorder's.
                received.reserve(payload.size());
                std::vector<char> buffer(65536);
                while (received.size() < payload.size()) {
                    const int n = recv(hConn, buffer.data(), static_cast<int>(buffer.size()), 0);
                    if (n <= 0) break;
                    received.append(buffer.data(), static_cast<size_t>(n));
                }
                closesocket(hConn);
                sender.join();
                relay.push_back(received.size() / 1e6 / SecondsSince(start));
                wrong += received == payload ? 0 : 1;
            } else {
                std::thread sender([&] { SendFrom(nullptr, clientPort, payload); });
                received = ReceiveAll(recorder, payload.size(), true);
                sender.join();
                tillvox.push_back(received.size() / 1e6 / SecondsSince(start));
                wrong += received == swapped ? 0 : 1;
            }
        }
    }
    closesocket(hTarget);
    engine.Stop();
    std::printf("one source, %.1f MB per round, %d rounds each, interleaved\n", bytesPerRound / 1e6, 2 * rounds);
    std::printf("  tillvox (network source -> TCP printer, every chunk acknowledged): median %.2f MB/s (min %.2f, max %.2f)\n",
                Median(tillvox), *std::min_element(tillvox.begin(), tillvox.end()),
                *std::max_element(tillvox.begin(), tillvox.end()));
    std::printf("  socat relay (no acknowledgements):                                  median %.2f MB/s (min %.2f, max %.2f)\n",
                Median(relay), *std::min_element(relay.begin(), relay.end()),
                *std::max_element(relay.begin(), relay.end()));
    std::printf("  rounds with wrong or missing bytes: %d\n", wrong);
}

// Counts what the monitor delivers, as an output that takes everything at once would.
class CCountingSink : public CDeliverySink {
public:
    void Deliver(int, const uint8_t*, int count) override { m_nBytes += static_cast<size_t>(count); }
    size_t Bytes() const { return m_nBytes; }

private:
    std::atomic<size_t> m_nBytes{0};
};

// The capture side alone: a client's bytes read by the monitor's reader and
// handed to the sink, beside the same client through the relay.
void CaptureOnly(unsigned short relayPort, unsigned short relayTarget, size_t bytesPerRound, int rounds)
{
    CCountingSink sink;
    CNetworkMonitor monitor(sink);
    const unsigned short clientPort = FindFreeLoopbackPort();
    monitor.Start({NETWORK_SOURCE{0, "127.0.0.1", clientPort}});
    const SOCKET hTarget = ListenOn(relayTarget);
    const std::string payload = Piece(bytesPerRound, 2);
    std::vector<double> capture, relay;
    for (int round = 0; round < 2 * rounds; ++round) {
        const bool bRelayFirst = round % 2 == 1;
        for (int leg = 0; leg < 2; ++leg) {
            const bool bRelay = (leg == 0) == bRelayFirst;
            const auto start = Clock::now();
            if (bRelay) {
                std::thread sender([&] { SendFrom(nullptr, relayPort, payload); });
                const SOCKET hConn = accept(hTarget, nullptr, nullptr);
                size_t got = 0;
                std::vector<char> buffer(65536);
                while (got < payload.size()) {
                    const int n = recv(hConn, buffer.data(), static_cast<int>(buffer.size()), 0);
                    if (n <= 0) break;
                    got += static_cast<size_t>(n);
                }
                closesocket(hConn);
                sender.join();
                relay.push_back(got / 1e6 / SecondsSince(start));
            } else {
                const size_t before = sink.Bytes();
                std::thread sender([&] { SendFrom(nullptr, clientPort, payload); });
                while (sink.Bytes() - before < payload.size() && SecondsSince(start) < 120) Sleep(1);
                sender.join();
                capture.push_back((sink.Bytes() - before) / 1e6 / SecondsSince(start));
            }
        }
    }
    closesocket(hTarget);
    monitor.Stop();
    std::printf("capture alone (client -> network source reader -> delivery), %.1f MB per round, %d rounds each\n",
                bytesPerRound / 1e6, 2 * rounds);
    std::printf("  tillvox reader: median %.2f MB/s (min %.2f, max %.2f)\n", Median(capture),
                *std::min_element(capture.begin(), capture.end()), *std::max_element(capture.begin(), capture.end()));
    std::printf("  socat relay:    median %.2f MB/s (min %.2f, max %.2f)\n", Median(relay),
                *std::min_element(relay.begin(), relay.end()), *std::max_element(relay.begin(), relay.end()));
}

void SixteenSources(size_t bytesPerClient)
{
    CEngineHost host;
    CCaptureEngine engine(host);
    host.pEngine = &engine;
    engine.LoadTexts();
    const unsigned short clientPort = FindFreeLoopbackPort();
    std::vector<unsigned short> recorderPorts;
    std::vector<std::string> addresses;
    for (int i = 0; i < MAX_SOURCES; ++i) {
        recorderPorts.push_back(FindFreeLoopbackPort());
        addresses.push_back("127.0.0." + std::to_string(i + 1));
        engine.AddSource(NetworkSource(addresses.back(), clientPort, recorderPorts.back()));
    }
    engine.Start();
    std::vector<CRecorderPeer> recorders(MAX_SOURCES);
    for (int i = 0; i < MAX_SOURCES; ++i) {
        if (!recorders[i].Connect(recorderPorts[i]) || recorders[i].Login("bench").size() != 67 ||
            !host.WaitForStatus(i, engine.m_strConnected, std::chrono::seconds(10))) {
            std::printf("recorder %d could not log in\n", i);
            return;
        }
    }
    std::vector<std::string> payloads, received(MAX_SOURCES);
    for (int i = 0; i < MAX_SOURCES; ++i) payloads.push_back(Piece(bytesPerClient, i + 10));
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    std::vector<double> finished(MAX_SOURCES);
    for (int i = 0; i < MAX_SOURCES; ++i) {
        threads.emplace_back([&, i] { SendFrom(addresses[i].c_str(), clientPort, payloads[i]); });
        threads.emplace_back([&, i] {
            received[i] = ReceiveAll(recorders[i], bytesPerClient, true);
            finished[i] = SecondsSince(start);
        });
    }
    for (auto& t : threads) t.join();
    const double total = SecondsSince(start);
    int complete = 0;
    for (int i = 0; i < MAX_SOURCES; ++i) complete += received[i] == Swapped(payloads[i]) ? 1 : 0;
    engine.Stop();
    std::printf("16 clients at once to 16 sources on one port, %.2f MB each\n", bytesPerClient / 1e6);
    std::printf("  sources that received every byte, in order: %d of 16\n", complete);
    std::printf("  all done in %.2f s (first source done at %.2f s, last at %.2f s), %.2f MB/s together\n", total,
                *std::min_element(finished.begin(), finished.end()), *std::max_element(finished.begin(), finished.end()),
                16 * bytesPerClient / 1e6 / total);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_NetworkThroughput RELAY_PORT RELAY_TARGET_PORT [MB] [rounds] [MB per client]\n");
        return 2;
    }
    const unsigned short relayPort = static_cast<unsigned short>(std::atoi(argv[1]));
    const unsigned short relayTarget = static_cast<unsigned short>(std::atoi(argv[2]));
    const double mb = argc > 3 ? std::atof(argv[3]) : 8.0;
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;
    const double mbPerClient = argc > 5 ? std::atof(argv[5]) : 1.0;
    CWinsockInit winsock;
    OneSource(relayPort, relayTarget, static_cast<size_t>(mb * 1e6), rounds);
    CaptureOnly(relayPort, relayTarget, static_cast<size_t>(mb * 1e6 * 8), rounds);
    SixteenSources(static_cast<size_t>(mbPerClient * 1e6));
    return 0;
}
