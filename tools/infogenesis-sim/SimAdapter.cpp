// A stand-in for InfogenesisPos.dll, for installers, people and tests: the
// same exports and object layout as the adapter library. Started with a
// connection record, it listens on the record's receive port on 127.0.0.1 and
// takes one command per line from whoever connects; each command makes the
// callback the library would make, on a thread of the simulator's own.
//
//   DATA <terminal> <text>       receipt data (the rest of the line, as it is)
//   DATA <terminal> 0x<hex>      receipt data given as hexadecimal bytes
//   EVENT <type> <terminal>      a status event
//   DROP                         a lost connection: event 6
//   RECORD                       answers with the record it was started with
//   FLOOD <terminal> <text>      data events in a tight loop on a thread of
//                                their own until the adapter is stopped
//   LAZYSTOP                     from now on Stop returns at once and a running
//                                flood goes on for one more second, as a
//                                library whose threads end late would
// Every command is answered with one line: "OK", "RECORD ..." or "ERR <why>".
#include "capture/InfogenesisAbi.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr auto LAZY_FLOOD_TAIL = std::chrono::milliseconds(1000);

bool ParseHex(const std::string& text, std::string& bytes)
{
    if (text.size() % 2 != 0)
        return false;
    bytes.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        char pair[3] = {text[i], text[i + 1], 0};
        char* end = nullptr;
        const long value = std::strtol(pair, &end, 16);
        if (end != pair + 2)
            return false;
        bytes.push_back(static_cast<char>(value));
    }
    return true;
}

// What one adapter's threads share with it. Every thread holds a reference,
// so a late thread never outlives the state it uses.
struct SIM_STATE {
    std::mutex mutex;  // guards hListen, clients and record
    SOCKET hListen = INVALID_SOCKET;
    std::vector<SOCKET> clients;
    INFOGENESIS_CONNECT_RECORD record = {};
    std::atomic<PosCallback*> pCallback{nullptr};
    std::atomic<bool> bStopping{false};
    std::atomic<bool> bLazyStop{false};
    std::atomic<long long> nStopTick{0};  // steady-clock ms when Stop was called

    void Callback(const char* pData, int32_t nLength, int32_t nType, int32_t nTerminal)
    {
        PosCallback* p = pCallback.load();
        if (p)
            p->OnPosEvent(pData, nLength, nType, nTerminal);
    }
};

long long NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Flood(std::shared_ptr<SIM_STATE> state, int32_t nTerminal, std::string text)
{
    for (;;) {
        if (state->bStopping) {
            if (!state->bLazyStop || NowMs() - state->nStopTick >= LAZY_FLOOD_TAIL.count())
                return;
        }
        state->Callback(text.data(), static_cast<int32_t>(text.size()), INFOGENESIS_EVENT_DATA, nTerminal);
    }
}

class CSimAdapter final : public CInfogenesisAdapter {
public:
    ~CSimAdapter()
    {
        Stop();
        JoinAll();
    }

    void INFOGENESIS_THISCALL RegisterCallback(PosCallback* pCallback) override { m_pState->pCallback = pCallback; }

    bool INFOGENESIS_THISCALL Start(INFOGENESIS_CONNECT_RECORD record) override
    {
        Stop();
        JoinAll();
        std::shared_ptr<SIM_STATE> state = m_pState;
        state->bStopping = false;
        SOCKET hListen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (hListen == INVALID_SOCKET)
            return false;
        BOOL bReuse = TRUE;  // a restart binds again while the last connections linger
        setsockopt(hListen, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&bReuse), sizeof bReuse);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<u_short>(record.nRecvPort));
        if (bind(hListen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(hListen, 4) != 0) {
            closesocket(hListen);
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->record = record;
            state->hListen = hListen;
        }
        AddThread(std::thread(&CSimAdapter::AcceptLoop, this, state));
        return true;
    }

    void INFOGENESIS_THISCALL Stop() override
    {
        SIM_STATE& state = *m_pState;
        if (!state.bStopping)
            state.nStopTick = NowMs();
        state.bStopping = true;
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            if (state.hListen != INVALID_SOCKET)
                closesocket(state.hListen);
            state.hListen = INVALID_SOCKET;
            for (SOCKET h : state.clients) {
                shutdown(h, SD_BOTH);
                closesocket(h);
            }
            state.clients.clear();
        }
        if (!state.bLazyStop)
            JoinAll();
    }

private:
    void AddThread(std::thread thread)
    {
        std::lock_guard<std::mutex> lock(m_ThreadMutex);
        m_Threads.push_back(std::move(thread));
    }

    void JoinAll()
    {
        for (;;) {
            std::vector<std::thread> threads;
            {
                std::lock_guard<std::mutex> lock(m_ThreadMutex);
                threads.swap(m_Threads);
            }
            if (threads.empty())
                return;
            for (std::thread& thread : threads)
                thread.join();
        }
    }

    void AcceptLoop(std::shared_ptr<SIM_STATE> state)
    {
        SOCKET hListen;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            hListen = state->hListen;
        }
        while (!state->bStopping) {
            SOCKET hClient = accept(hListen, nullptr, nullptr);
            if (hClient == INVALID_SOCKET)
                return;
            std::lock_guard<std::mutex> lock(state->mutex);
            if (state->bStopping) {
                closesocket(hClient);
                return;
            }
            state->clients.push_back(hClient);
            AddThread(std::thread(&CSimAdapter::ClientLoop, this, state, hClient));
        }
    }

    void ClientLoop(std::shared_ptr<SIM_STATE> state, SOCKET hClient)
    {
        std::string pending;
        char buffer[4096];
        while (!state->bStopping) {
            const int n = recv(hClient, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            pending.append(buffer, static_cast<size_t>(n));
            size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                const std::string reply = Execute(state, line) + "\n";
                send(hClient, reply.data(), static_cast<int>(reply.size()), 0);
            }
        }
        // Stop closes the sockets it finds in the list; one that left it is closed here.
        std::lock_guard<std::mutex> lock(state->mutex);
        for (size_t i = 0; i < state->clients.size(); ++i) {
            if (state->clients[i] == hClient) {
                state->clients.erase(state->clients.begin() + static_cast<long>(i));
                closesocket(hClient);
                break;
            }
        }
    }

    std::string Execute(const std::shared_ptr<SIM_STATE>& state, const std::string& line)
    {
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (word == "DATA" || word == "FLOOD") {
            long terminal = 0;
            if (!(in >> terminal))
                return "ERR terminal id expected";
            std::string rest;
            std::getline(in, rest);
            if (!rest.empty() && rest[0] == ' ')
                rest.erase(0, 1);
            std::string bytes = rest;
            if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X') &&
                !ParseHex(rest.substr(2), bytes))
                return "ERR bad hexadecimal bytes";
            if (word == "FLOOD") {
                AddThread(std::thread(Flood, state, static_cast<int32_t>(terminal), bytes));
                return "OK";
            }
            state->Callback(bytes.data(), static_cast<int32_t>(bytes.size()), INFOGENESIS_EVENT_DATA,
                            static_cast<int32_t>(terminal));
            return "OK";
        }
        if (word == "EVENT") {
            long type = 0, terminal = 0;
            if (!(in >> type >> terminal))
                return "ERR type and terminal id expected";
            state->Callback(nullptr, 0, static_cast<int32_t>(type), static_cast<int32_t>(terminal));
            return "OK";
        }
        if (word == "DROP") {
            state->Callback(nullptr, 0, INFOGENESIS_EVENT_LOST, 0);
            return "OK";
        }
        if (word == "RECORD") {
            INFOGENESIS_CONNECT_RECORD record;
            {
                std::lock_guard<std::mutex> lock(state->mutex);
                record = state->record;
            }
            char ip[INFOGENESIS_IP_SIZE + 1] = {};
            std::memcpy(ip, record.szIP, INFOGENESIS_IP_SIZE);
            std::ostringstream out;
            out << "RECORD " << ip << ' ' << record.nSendPort << ' ' << record.nRecvPort << ' '
                << record.nTerminalCount;
            for (int i = 0; i < INFOGENESIS_MAX_TERMINALS; ++i)
                out << ' ' << record.nTerminalIDs[i];
            return out.str();
        }
        if (word == "LAZYSTOP") {
            state->bLazyStop = true;
            return "OK";
        }
        return "ERR unknown command";
    }

    std::shared_ptr<SIM_STATE> m_pState = std::make_shared<SIM_STATE>();
    std::mutex m_ThreadMutex;  // guards m_Threads; any of the adapter's threads adds to it
    std::vector<std::thread> m_Threads;
};

// The adapter's threads use Winsock from the first Start to the unload.
struct CWinsockUser {
    CWinsockUser()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~CWinsockUser() { WSACleanup(); }
};

}  // namespace

extern "C" __declspec(dllexport) CInfogenesisAdapter* INFOGENESIS_CDECL CreatePtr()
{
    static CWinsockUser winsock;
    return new CSimAdapter;
}

extern "C" __declspec(dllexport) void INFOGENESIS_CDECL DeletePtr(CInfogenesisAdapter* pAdapter)
{
    delete static_cast<CSimAdapter*>(pAdapter);
}
