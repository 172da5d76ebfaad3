// Measures how long the stop sequence takes with 16 TCP sources whose
// recorders are logged in, beside a reference: closing 16 plain listening and
// connected sockets with no link threads. Prints the figures; asserts nothing.
#include "app/CaptureEngine.h"
#include "tests/support/EngineHost.h"
#include "tests/support/RecorderPeer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

double Milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double StopWithLinks()
{
    CEngineHost host;
    CCaptureEngine engine(host);
    host.pEngine = &engine;
    engine.LoadTexts();
    std::vector<unsigned short> ports;
    for (int i = 0; i < MAX_SOURCES; ++i) {
        auto r = std::make_unique<POS_SETTING_INFO>();
        r->nMonitorType = KIND_FILE;
        r->ePrinterType = PRINTER_TYPE::Tcp;
        ports.push_back(FindFreeLoopbackPort());
        r->strPort = std::to_string(ports.back());
        r->strPassword = "bench";
        engine.AddSource(std::move(r));
    }
    engine.Start();
    std::vector<std::unique_ptr<CRecorderPeer>> peers;
    for (int i = 0; i < MAX_SOURCES; ++i) {
        peers.push_back(std::make_unique<CRecorderPeer>());
        peers.back()->Connect(ports[static_cast<size_t>(i)]);
        peers.back()->Login("bench");
    }
    const auto start = std::chrono::steady_clock::now();
    engine.Stop();
    return Milliseconds(std::chrono::steady_clock::now() - start);
}

double CloseReferenceSockets()
{
    std::vector<SOCKET> listeners, accepted;
    std::vector<std::unique_ptr<CLoopbackClient>> clients;
    for (int i = 0; i < MAX_SOURCES; ++i) {
        CTimeOutSocket listener;
        listener.Create(0, "127.0.0.1");
        listener.Listen(5);
        const unsigned short port = BoundPort(listener.Handle());
        clients.push_back(std::make_unique<CLoopbackClient>());
        clients.back()->Connect(port);
        CTimeOutSocket conn;
        listener.Accept(conn);
        listeners.push_back(listener.Detach());
        accepted.push_back(conn.Detach());
    }
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < listeners.size(); ++i) {
        closesocket(listeners[i]);
        closesocket(accepted[i]);
    }
    return Milliseconds(std::chrono::steady_clock::now() - start);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    CWinsockInit winsock;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> links, reference;
    for (int k = 0; k < rounds; ++k) {
        links.push_back(StopWithLinks());
        reference.push_back(CloseReferenceSockets());
    }
    std::printf("stop of 16 logged-in TCP sources: median %.1f ms, max %.1f ms over %d rounds\n", Median(links),
                *std::max_element(links.begin(), links.end()), rounds);
    std::printf("reference, closing 16 listening + 16 connected sockets: median %.1f ms, max %.1f ms\n",
                Median(reference), *std::max_element(reference.begin(), reference.end()));
    return 0;
}
