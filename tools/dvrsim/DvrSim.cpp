// dvrsim: stands in for a DVR/NVR recorder on the program's text link, so an
// installer can check a source without a recorder and tests have a real peer.
#include "tools/dvrsim/DvrProtocol.h"
#include "tools/common/SimSocket.h"

#include "link/LinkCodec.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <random>
#include <string>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

enum EXIT_CODE {
    EXIT_OK = 0,
    EXIT_USAGE = 2,
    EXIT_NO_CONNECT = 3,
    EXIT_REFUSED = 4,
    EXIT_BAD_REPLY = 5,
    EXIT_LOST = 6,
};

const int RETRY_PAUSE_MS = 200;
const int ANSWER_WAIT_MS = 5000;
const int LONGEST_WAIT_MS = 1000;

const char USAGE[] =
    "usage: dvrsim HOST:PORT [options]\n"
    "Acts as a DVR/NVR recorder on a source's TCP text link: logs in, then\n"
    "writes the received text (nibble swap undone) to stdout or a file,\n"
    "acknowledging every piece and checking that the program is alive.\n"
    "\n"
    "  --password TEXT     password the challenge is made from (default empty)\n"
    "  --out FILE          write the text to FILE instead of stdout\n"
    "  --keepalive-ms N    send a keep-alive check after N ms without sending (default 5000, 0 = never)\n"
    "  --ack-delay-ms N    wait N ms before each acknowledgement (default 0)\n"
    "  --no-ack            never acknowledge\n"
    "  --no-login          send no challenge; go straight to receiving\n"
    "  --login-only        end after the login reply was judged\n"
    "  --max-bytes N       end after N bytes of text\n"
    "  --duration-ms N     end N ms after the login\n"
    "  --idle-exit-ms N    end after N ms without text\n"
    "  --retry-ms N        keep retrying the connection for up to N ms (default 0: one attempt)\n"
    "  --key N             challenge key byte (0-255, default random)\n"
    "  --echo-a N          challenge echo byte A (0-255, default random)\n"
    "  --echo-b N          challenge echo byte B (0-255, default random)\n"
    "  --seed N            seed of the random challenge bytes (default: the time)\n"
    "  --quiet             report only the login verdict and failures\n"
    "  --help              show this text\n"
    "\n"
    "Exit codes: 0 ok, 2 usage, 3 cannot connect, 4 login refused, 5 bad reply, 6 connection lost.\n";

struct DVR_SIM_OPTIONS {
    std::string strHost;
    std::string strPort;
    std::string strPassword;
    std::string strOut;
    long nKeepAliveMs = 5000;
    long nAckDelayMs = 0;
    bool bNoAck = false;
    bool bNoLogin = false;
    bool bLoginOnly = false;
    long nMaxBytes = 0;
    long nDurationMs = 0;
    long nIdleExitMs = 0;
    long nRetryMs = 0;
    long nKey = -1;
    long nEchoA = -1;
    long nEchoB = -1;
    long nSeed = -1;
    bool bQuiet = false;
};

bool ParseNumber(const char* text, long maxValue, long& value)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 0);
    if (end == text || *end != '\0' || v < 0 || v > maxValue)
        return false;
    value = v;
    return true;
}

bool ParseEndpoint(const std::string& text, DVR_SIM_OPTIONS& o)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    long port = 0;
    if (!ParseNumber(text.c_str() + colon + 1, 65535, port) || port == 0)
        return false;
    o.strHost = text.substr(0, colon);
    if (o.strHost.size() > 2 && o.strHost.front() == '[' && o.strHost.back() == ']')
        o.strHost = o.strHost.substr(1, o.strHost.size() - 2);
    o.strPort = std::to_string(port);
    return true;
}

// EXIT_OK to go on, or the code to end with (usage errors are reported here).
int ParseArgs(int argc, char** argv, DVR_SIM_OPTIONS& o, bool& helpShown)
{
    const long BIG = 2147483647L;
    struct NUMBER_OPTION { const char* name; long* value; long maxValue; };
    const NUMBER_OPTION numbers[] = {
        {"--keepalive-ms", &o.nKeepAliveMs, BIG}, {"--ack-delay-ms", &o.nAckDelayMs, BIG},
        {"--max-bytes", &o.nMaxBytes, BIG},       {"--duration-ms", &o.nDurationMs, BIG},
        {"--idle-exit-ms", &o.nIdleExitMs, BIG},  {"--retry-ms", &o.nRetryMs, BIG},
        {"--key", &o.nKey, 255},                  {"--echo-a", &o.nEchoA, 255},
        {"--echo-b", &o.nEchoB, 255},             {"--seed", &o.nSeed, BIG},
    };
    struct FLAG_OPTION { const char* name; bool* value; };
    const FLAG_OPTION flags[] = {
        {"--no-ack", &o.bNoAck}, {"--no-login", &o.bNoLogin}, {"--login-only", &o.bLoginOnly}, {"--quiet", &o.bQuiet},
    };

    helpShown = false;
    bool haveEndpoint = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(USAGE, stdout);
            helpShown = true;
            return EXIT_OK;
        }
        const FLAG_OPTION* flag = std::find_if(std::begin(flags), std::end(flags),
                                               [&](const FLAG_OPTION& f) { return arg == f.name; });
        if (flag != std::end(flags)) {
            *flag->value = true;
            continue;
        }
        const NUMBER_OPTION* number = std::find_if(std::begin(numbers), std::end(numbers),
                                                   [&](const NUMBER_OPTION& n) { return arg == n.name; });
        const bool takesText = arg == "--password" || arg == "--out";
        if (number != std::end(numbers) || takesText) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "dvrsim: %s needs a value\n%s", arg.c_str(), USAGE);
                return EXIT_USAGE;
            }
            const char* value = argv[++i];
            if (arg == "--password")
                o.strPassword = value;
            else if (arg == "--out")
                o.strOut = value;
            else if (!ParseNumber(value, number->maxValue, *number->value)) {
                std::fprintf(stderr, "dvrsim: bad value for %s: %s\n", arg.c_str(), value);
                return EXIT_USAGE;
            }
            continue;
        }
        if (arg.compare(0, 2, "--") != 0 && !haveEndpoint && ParseEndpoint(arg, o)) {
            haveEndpoint = true;
            continue;
        }
        std::fprintf(stderr, "dvrsim: unexpected argument: %s\n%s", arg.c_str(), USAGE);
        return EXIT_USAGE;
    }
    if (!haveEndpoint) {
        std::fprintf(stderr, "dvrsim: HOST:PORT is missing\n%s", USAGE);
        return EXIT_USAGE;
    }
    return EXIT_OK;
}

using CLOCK = std::chrono::steady_clock;

long MsBetween(CLOCK::time_point from, CLOCK::time_point to)
{
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

class CDvrSim {
public:
    explicit CDvrSim(const DVR_SIM_OPTIONS& options) : m_Options(options) {}
    ~CDvrSim()
    {
        if (m_pOut && m_pOut != stdout)
            std::fclose(m_pOut);
    }

    int Run()
    {
        if (!CSimSocket::StartUp()) {
            std::fprintf(stderr, "dvrsim: socket library unavailable\n");
            return EXIT_NO_CONNECT;
        }
        if (!ConnectWithRetry())
            return EXIT_NO_CONNECT;
        m_LastSend = CLOCK::now();
        if (!OpenOutput())
            return EXIT_USAGE;
        if (!m_Options.bNoLogin) {
            const int login = LogIn();
            if (login != EXIT_OK || m_Options.bLoginOnly)
                return login;
        }
        return Receive();
    }

private:
    void Say(const char* text, long value = -1) const
    {
        if (m_Options.bQuiet)
            return;
        if (value < 0)
            std::fprintf(stderr, "dvrsim: %s\n", text);
        else
            std::fprintf(stderr, "dvrsim: %s %ld\n", text, value);
    }

    bool ConnectWithRetry()
    {
        const auto start = CLOCK::now();
        std::string error;
        for (;;) {
            if (m_Socket.Connect(m_Options.strHost, m_Options.strPort, error)) {
                Say("connected");
                return true;
            }
            if (MsBetween(start, CLOCK::now()) >= m_Options.nRetryMs)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(RETRY_PAUSE_MS));
        }
        std::fprintf(stderr, "dvrsim: cannot connect to %s:%s: %s\n", m_Options.strHost.c_str(),
                     m_Options.strPort.c_str(), error.c_str());
        return false;
    }

    bool OpenOutput()
    {
        if (m_Options.strOut.empty()) {
#ifdef _WIN32
            _setmode(_fileno(stdout), _O_BINARY);
#endif
            m_pOut = stdout;
            return true;
        }
        m_pOut = std::fopen(m_Options.strOut.c_str(), "wb");
        if (!m_pOut)
            std::fprintf(stderr, "dvrsim: cannot write %s\n", m_Options.strOut.c_str());
        return m_pOut != nullptr;
    }

    int LogIn()
    {
        std::mt19937 rng(m_Options.nSeed >= 0 ? unsigned(m_Options.nSeed) : unsigned(std::time(nullptr)));
        auto pick = [&](long chosen) { return uint8_t(chosen >= 0 ? chosen : long(rng() % 256)); };
        const uint8_t key = pick(m_Options.nKey);
        const uint8_t a = pick(m_Options.nEchoA);
        const uint8_t b = pick(m_Options.nEchoB);
        uint8_t filler[LINK_PAYLOAD_SIZE];
        for (uint8_t& f : filler)
            f = uint8_t(rng());
        uint8_t challenge[LINK_MSG_SIZE];
        BuildChallenge(challenge, m_Options.strPassword, key, a, b, filler);
        if (!m_Socket.SendAll(challenge, sizeof challenge)) {
            std::fprintf(stderr, "dvrsim: connection lost while sending the challenge\n");
            return EXIT_LOST;
        }
        m_LastSend = CLOCK::now();

        uint8_t reply[LINK_MSG_SIZE];
        int last = 0;
        const size_t got = m_Socket.ReceiveExactly(reply, sizeof reply, int(LINK_RECV_TIMEOUT_MS), last);
        if (got < sizeof reply && last != CSimSocket::RECV_TIMEOUT) {
            std::fprintf(stderr, "dvrsim: connection lost while waiting for the login reply (%u bytes came)\n",
                         unsigned(got));
            return EXIT_LOST;
        }
        std::string why = "no complete reply within " + std::to_string(LINK_RECV_TIMEOUT_MS) + " ms";
        switch (got < sizeof reply ? DVR_LOGIN_BAD : CheckLoginReply(reply, got, a, b, why)) {
        case DVR_LOGIN_OK:
            std::fprintf(stderr, "login ok\n");
            return EXIT_OK;
        case DVR_LOGIN_REFUSED:
            std::fprintf(stderr, "login refused\n");
            return EXIT_REFUSED;
        default:
            std::fprintf(stderr, "bad reply: %s\n", why.c_str());
            return EXIT_BAD_REPLY;
        }
    }

    bool Send(const char* word)
    {
        m_LastSend = CLOCK::now();
        return m_Socket.SendAll(word, std::strlen(word));
    }

    void Write(const std::string& text)
    {
        if (text.empty())
            return;
        std::fwrite(text.data(), 1, text.size(), m_pOut);
        std::fflush(m_pOut);
        m_nTotal += long(text.size());
    }

    int Lost()
    {
        std::string text;
        m_Decoder.GiveUpAnswer(text);
        Write(text);
        std::fprintf(stderr, "dvrsim: connection lost after %ld bytes\n", m_nTotal);
        return EXIT_LOST;
    }

    int Finish(const char* why)
    {
        std::string text;
        m_Decoder.GiveUpAnswer(text);
        Write(text);
        if (!m_Options.bQuiet)
            std::fprintf(stderr, "dvrsim: %s, %ld bytes received\n", why, m_nTotal);
        return EXIT_OK;
    }

    int Receive()
    {
        const DVR_SIM_OPTIONS& o = m_Options;
        const auto start = CLOCK::now();
        auto lastText = start;
        auto checkSent = start;
        std::deque<CLOCK::time_point> acksDue;
        static uint8_t buffer[65536];

        for (;;) {
            auto now = CLOCK::now();
            if (o.nDurationMs > 0 && MsBetween(start, now) >= o.nDurationMs)
                return Finish("duration over");
            if (o.nIdleExitMs > 0 && MsBetween(lastText, now) >= o.nIdleExitMs)
                return Finish("idle");
            while (!acksDue.empty() && acksDue.front() <= now) {
                acksDue.pop_front();
                if (!Send(LINK_ACK_WORD))
                    return Lost();
            }
            if (m_Decoder.IsAnswerPending() && MsBetween(checkSent, now) >= ANSWER_WAIT_MS) {
                std::fprintf(stderr, "bad reply: keep-alive check not answered within %d ms\n", ANSWER_WAIT_MS);
                return EXIT_BAD_REPLY;
            }
            // A check sent close to an acknowledgement may reach the program in the same
            // block, which it serves as an acknowledgement only; due acknowledgements
            // show liveness anyway.
            if (o.nKeepAliveMs > 0 && !m_Decoder.IsAnswerPending() && acksDue.empty() &&
                MsBetween(m_LastSend, now) >= o.nKeepAliveMs) {
                if (!Send(LINK_KEEPALIVE_CHECK))
                    return Lost();
                m_Decoder.ExpectAnswer();
                checkSent = m_LastSend;
                Say("keep-alive check sent");
            }

            long wait = LONGEST_WAIT_MS;
            auto until = [&](CLOCK::time_point from, long ms) { wait = std::min(wait, ms - MsBetween(from, now)); };
            if (o.nDurationMs > 0)
                until(start, o.nDurationMs);
            if (o.nIdleExitMs > 0)
                until(lastText, o.nIdleExitMs);
            if (!acksDue.empty())
                until(acksDue.front(), 0);
            if (m_Decoder.IsAnswerPending())
                until(checkSent, ANSWER_WAIT_MS);
            else if (o.nKeepAliveMs > 0 && acksDue.empty())
                until(m_LastSend, o.nKeepAliveMs);

            const int n = m_Socket.Receive(buffer, sizeof buffer, int(std::max(wait, 1L)));
            if (n == CSimSocket::RECV_TIMEOUT)
                continue;
            if (n <= 0)
                return Lost();
            now = CLOCK::now();
            std::string text;
            if (m_Decoder.Feed(buffer, size_t(n), text))
                Say("keep-alive answered");
            if (text.empty())
                continue;
            Write(text);
            lastText = now;
            Say("text bytes", long(text.size()));
            if (!o.bNoAck)
                acksDue.push_back(now + std::chrono::milliseconds(o.nAckDelayMs));
            if (o.nMaxBytes > 0 && m_nTotal >= o.nMaxBytes) {
                if (o.nAckDelayMs == 0 && !o.bNoAck && !Send(LINK_ACK_WORD))
                    return Lost();
                return Finish("byte count reached");
            }
        }
    }

    const DVR_SIM_OPTIONS& m_Options;
    CSimSocket m_Socket;
    FILE* m_pOut = nullptr;
    CDvrStreamDecoder m_Decoder;
    CLOCK::time_point m_LastSend;
    long m_nTotal = 0;
};

} // namespace

int main(int argc, char** argv)
{
    DVR_SIM_OPTIONS options;
    bool helpShown = false;
    const int parsed = ParseArgs(argc, argv, options, helpShown);
    if (parsed != EXIT_OK || helpShown)
        return parsed;
    CDvrSim sim(options);
    return sim.Run();
}
