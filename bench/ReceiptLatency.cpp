// Receipt latency of the real Tillvox.exe beside the minimal forwarder
// (bench/forwarder), under the same Wine, in one run, interleaved round by
// round so that machine noise hits both alike. A round appends one receipt to
// each source's file and waits until every one has reached its receiver,
// byte for byte; each is answered as a recorder does, on both roads alike.
// Layouts: 1 source; 16 sources in 16 folders; 16 sources in one folder.
// Prints p50, p99 and max of both and their ratios; asserts nothing.
//
//   bench_ReceiptLatency [ROUNDS=3000] [LAYOUTS=1,16,16one]
#include "base/IniProfile.h"
#include "config/SettingsFile.h"
#include "net/WinsockInit.h"
#include "tests/support/Bytes.h"
#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/TempFolder.h"

#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const size_t RECEIPT_SIZE = 500;
const char* const PASSWORD = "bench";

std::string Receipt(int source, int round)
{
    std::string text = "#S" + std::to_string(source) + "R" + std::to_string(round) + "#\r\n";
    while (text.size() < RECEIPT_SIZE) text += "ITEM 0000001 SOME GOODS      1 x 2.50     2.50\r\n";
    text.resize(RECEIPT_SIZE);
    return text;
}

// Appends as a POS printer driver does: open, write, close.
void Append(const std::string& path, const std::string& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

// One program under measurement: its receivers, one connection per source.
struct ROAD {
    std::string name;
    bool bSwapped = false;  // Tillvox swaps nibbles and wants every chunk acknowledged
    std::vector<std::string> files;
    std::vector<std::unique_ptr<CLoopbackClient>> peers;
    std::vector<std::string> pending;  // bytes received and not yet matched, per source
    std::vector<double> latencyMs;
    int mismatches = 0;
    int missing = 0;
};

// Appends one receipt to every file of the road and waits until each has
// arrived whole; false when one did not arrive within the time.
bool RunRound(ROAD& road, int round)
{
    const size_t n = road.files.size();
    std::vector<Clock::time_point> written(n);
    std::vector<bool> arrived(n, false);
    for (size_t i = 0; i < n; ++i) {
        written[i] = Clock::now();
        Append(road.files[i], Receipt(static_cast<int>(i), round));
    }
    size_t left = n;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (left > 0 && Clock::now() < deadline) {
        fd_set readable;
        FD_ZERO(&readable);
        for (size_t i = 0; i < n; ++i)
            if (!arrived[i]) FD_SET(road.peers[i]->Handle(), &readable);
        timeval wait = {0, 100000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
            continue;
        const auto now = Clock::now();
        for (size_t i = 0; i < n; ++i) {
            if (arrived[i] || !FD_ISSET(road.peers[i]->Handle(), &readable))
                continue;
            char buffer[8192];
            const int got = recv(road.peers[i]->Handle(), buffer, sizeof buffer, 0);
            if (got <= 0)
                return false;
            const std::string bytes(buffer, static_cast<size_t>(got));
            road.pending[i] += road.bSwapped ? Swapped(bytes) : bytes;
            // Tillvox ends every piece it captured with one zero byte.
            const std::string expected = Receipt(static_cast<int>(i), round) + (road.bSwapped ? std::string(1, '\0') : "");
            if (road.pending[i].size() < expected.size())
                continue;
            if (road.pending[i] != expected && road.mismatches++ == 0)
                std::printf("  %s, source %zu, round %d: received %zu bytes that differ from the receipt\n",
                            road.name.c_str(), i, round, road.pending[i].size());
            road.pending[i].clear();
            // Every receipt is answered with the recorder's acknowledgement on
            // both roads, so that the bench's own send weighs on the shared Wine
            // server alike; the minimal forwarder leaves it unread.
            road.peers[i]->SendAll(CRecorderPeer::ACK_BYTES);
            arrived[i] = true;
            --left;
            if (round >= 0)
                road.latencyMs.push_back(std::chrono::duration<double, std::milli>(now - written[i]).count());
        }
    }
    road.missing += static_cast<int>(left);
    return left == 0;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

double Max(const std::vector<double>& values)
{
    return values.empty() ? -1 : *std::max_element(values.begin(), values.end());
}

POS_SETTING_INFO FileSource(int i, const std::string& path, unsigned short port)
{
    POS_SETTING_INFO r;
    r.nMonitorType = KIND_FILE;
    r.nReceiptType = 0;
    r.nInternetType = 0;
    r.strFilePath = path;
    r.strPosIndex = "POS" + std::to_string(i + 1);
    r.ePrinterType = PRINTER_TYPE::Tcp;
    r.strPort = std::to_string(port);
    r.strPassword = PASSWORD;
    r.strBaudRate = "NULL";
    r.strDataBits = "NULL";
    r.strParity = "NULL";
    r.strStopBits = "NULL";
    return r;
}

bool ConnectWithRetry(CLoopbackClient& client, unsigned short port)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (client.Connect(port, 2000))
            return true;
        Sleep(100);
    }
    return false;
}

// Files of the layout: n sources, each in a folder of its own or all in one.
std::vector<std::string> MakeFiles(const CTempFolder& top, const std::string& prefix, int n, bool oneFolder)
{
    std::vector<std::string> files;
    for (int i = 0; i < n; ++i) {
        const std::string folder = top.Path() + prefix + (oneFolder ? std::string() : std::to_string(i)) + "\\";
        CreateDirectoryA(folder.c_str(), nullptr);
        files.push_back(folder + "pos" + std::to_string(i) + ".txt");
        WriteWholeFile(files.back(), "");
    }
    return files;
}

void Report(const ROAD& tillvox, const ROAD& minimal)
{
    for (const ROAD* road : {&tillvox, &minimal})
        std::printf("  %-8s: %6zu receipts, p50 %6.2f ms, p99 %6.2f ms, max %7.2f ms, missing %d, mismatched %d\n",
                    road->name.c_str(), road->latencyMs.size(), Percentile(road->latencyMs, 0.5),
                    Percentile(road->latencyMs, 0.99), Max(road->latencyMs), road->missing, road->mismatches);
    std::printf("  ratio   : p50 %.2f, p99 %.2f, max %.2f\n",
                Percentile(tillvox.latencyMs, 0.5) / Percentile(minimal.latencyMs, 0.5),
                Percentile(tillvox.latencyMs, 0.99) / Percentile(minimal.latencyMs, 0.99),
                Max(tillvox.latencyMs) / Max(minimal.latencyMs));
    std::fflush(stdout);
}

bool RunLayout(int rounds, int n, bool oneFolder)
{
    CTempFolder top;
    ROAD tillvox;
    tillvox.name = "tillvox";
    tillvox.bSwapped = true;
    tillvox.files = MakeFiles(top, "t", n, oneFolder);
    ROAD minimal;
    minimal.name = "minimal";
    minimal.files = MakeFiles(top, "m", n, oneFolder);

    std::vector<POS_SETTING_INFO> records;
    std::vector<unsigned short> tillvoxPorts, minimalPorts;
    for (int i = 0; i < n; ++i) {
        tillvoxPorts.push_back(FindFreeLoopbackPort());
        records.push_back(FileSource(i, tillvox.files[static_cast<size_t>(i)], tillvoxPorts.back()));
    }
    CreateDirectoryA((ProgramDataFolder() + "..").c_str(), nullptr);
    CreateDirectoryA(ProgramDataFolder().c_str(), nullptr);
    DeleteFileA(ProgramSettingsPath().c_str());
    {
        CIniProfile profile(ProgramSettingsPath());
        std::vector<const POS_SETTING_INFO*> pointers;
        for (const auto& r : records) pointers.push_back(&r);
        SaveSettingsTo(profile, pointers, false);
    }
    CProgramUnderTest program;
    if (!program.Start("/Service /Monitor") || !program.WaitForMainWindow(30000)) {
        std::printf("Tillvox.exe did not start\n");
        return false;
    }

    std::string command = "\"" + UnixToWindowsPath(EnvironmentValue("TILLVOX_BENCH_DIR") + "/bench_MinimalForwarder.exe") + "\"";
    for (int i = 0; i < n; ++i) {
        minimalPorts.push_back(FindFreeLoopbackPort());
        command += " " + std::to_string(minimalPorts.back()) + " \"" + minimal.files[static_cast<size_t>(i)] + "\"";
    }
    // The forwarder reads nothing, so it cannot see a closed connection: the
    // benchmark ends it, on every way out of the layout.
    struct CEndedOnExit {
        HANDLE hProcess = nullptr;
        ~CEndedOnExit()
        {
            if (hProcess == nullptr)
                return;
            TerminateProcess(hProcess, 0);
            WaitForSingleObject(hProcess, 5000);
            CloseHandle(hProcess);
        }
    } forwarder;
    if (!LaunchCommand(command, &forwarder.hProcess)) {
        std::printf("the minimal forwarder did not start: %s\n", command.c_str());
        return false;
    }

    // The forwarder's ports were free when they were picked; until it has bound
    // them, no connection of the benchmark may take one of them as its own.
    for (int i = 0; i < n; ++i) {
        auto client = std::make_unique<CLoopbackClient>();
        if (!ConnectWithRetry(*client, minimalPorts[static_cast<size_t>(i)])) {
            std::printf("could not connect to the minimal forwarder's port %d\n", i);
            return false;
        }
        minimal.peers.push_back(std::move(client));
    }
    for (int i = 0; i < n; ++i) {
        auto recorder = std::make_unique<CRecorderPeer>();
        if (!ConnectWithRetry(*recorder, tillvoxPorts[static_cast<size_t>(i)]) ||
            recorder->Login(PASSWORD).size() != 67) {
            std::printf("recorder %d could not log in to Tillvox\n", i);
            return false;
        }
        tillvox.peers.push_back(std::move(recorder));
    }
    tillvox.pending.resize(static_cast<size_t>(n));
    minimal.pending.resize(static_cast<size_t>(n));
    // Both are past their start-up and watching (Tillvox sends after its pause behind the login reply).
    Sleep(1500);
    for (int warm = -3; warm < 0; ++warm)
        if (!RunRound(tillvox, warm) || !RunRound(minimal, warm)) {
            std::printf("warm-up round lost a receipt\n");
            return false;
        }
    tillvox.missing = minimal.missing = 0;

    for (int round = 0; round < rounds; ++round) {
        ROAD& first = round % 2 == 0 ? tillvox : minimal;
        ROAD& second = round % 2 == 0 ? minimal : tillvox;
        RunRound(first, round);
        Sleep(2);
        RunRound(second, round);
        Sleep(2);
    }
    std::printf("%d source%s%s, %d rounds of %zu-byte receipts:\n", n, n > 1 ? "s" : "",
                n == 1 ? "" : oneFolder ? " in one folder" : " in their own folders", rounds, RECEIPT_SIZE);
    Report(tillvox, minimal);

    PostMessageA(program.WaitForMainWindow(1000), WM_CLOSE, 0, 0);
    program.WaitForExit(10000);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 3000;
    const std::string layouts = argc > 2 ? argv[2] : "1,16,16one";
    CoInitialize(nullptr);
    CWinsockInit winsock;
    std::stringstream list(layouts);
    std::string layout;
    int failed = 0;
    while (std::getline(list, layout, ',')) {
        const bool oneFolder = layout.find("one") != std::string::npos;
        const int n = std::max(1, std::min(16, std::atoi(layout.c_str())));
        if (!RunLayout(rounds, n, oneFolder))
            ++failed;
    }
    CoUninitialize();
    return failed == 0 ? 0 : 1;
}
