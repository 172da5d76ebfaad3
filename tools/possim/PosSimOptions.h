#pragma once
// possim's command line and its generated receipts. Header-only so unit tests
// and the program's own tests can use them without linking the tool.
#include <cstdlib>
#include <string>
#include <vector>

enum POS_SIM_EXIT {
    POS_SIM_OK = 0,
    POS_SIM_USAGE = 2,
    POS_SIM_NO_CONNECT = 3,
    POS_SIM_LOST = 6,
    POS_SIM_NO_INPUT = 7,
    POS_SIM_REFUSED = 8,
};

constexpr long POS_SIM_DEFAULT_CHECK_MS = 250;

constexpr long POS_SIM_DEFAULT_SIZE = 256;
constexpr long POS_SIM_MAX_SIZE = 64L * 1024 * 1024;

const char POS_SIM_USAGE_TEXT[] =
    "usage: possim HOST:PORT [options] [FILE...]\n"
    "Acts as a POS client of a network source: connects to the program's port\n"
    "and sends receipt text, as a till does.\n"
    "\n"
    "What is sent, one receipt after another:\n"
    "  FILE...             each file is one receipt, sent byte for byte\n"
    "  -                   standard input, sent as it is read (also the default\n"
    "                      when no FILE and no --count is given)\n"
    "  --count N           N generated sample receipts, numbered from 1\n"
    "\n"
    "  --size BYTES        size of each generated receipt (default 256)\n"
    "  --interval MS       pause MS ms between receipts (default 0)\n"
    "  --reconnect         close the connection after each receipt and connect anew\n"
    "                      for the next\n"
    "  --from ADDRESS      connect from this local IPv4 address (say 127.0.0.2,\n"
    "                      to stand in for a second till on one machine)\n"
    "  --retry-ms N        keep retrying a connection for up to N ms (default 0:\n"
    "                      one attempt)\n"
    "  --linger-ms N       keep the connection open N ms after the last receipt\n"
    "                      (default 0)\n"
    "  --check-ms N        before ending a connection, wait until N ms after it\n"
    "                      was made for the program to close or reset it, which\n"
    "                      it does at once to a client that is no source's\n"
    "                      (default 250; 0: no check)\n"
    "  --quiet             report failures only\n"
    "  --help              show this text\n"
    "\n"
    "Exit codes: 0 ok, 2 usage, 3 cannot connect, 6 connection lost while\n"
    "sending (otherwise than by the program), 7 cannot read an input file,\n"
    "8 the program closed or reset the connection before possim ended it, before\n"
    "or after the text went out, so the text was not taken: no source has\n"
    "this machine's address and this port as its client (run possim on the till's\n"
    "machine, or give the source's address with --from).\n";

struct POS_SIM_OPTIONS {
    std::string strHost;
    std::string strPort;
    std::vector<std::string> files;  // "-" stands for standard input
    long nCount = 0;
    long nSize = POS_SIM_DEFAULT_SIZE;
    long nIntervalMs = 0;
    bool bReconnect = false;
    std::string strFrom;
    long nRetryMs = 0;
    long nLingerMs = 0;
    long nCheckMs = POS_SIM_DEFAULT_CHECK_MS;
    bool bQuiet = false;
    bool bHelp = false;
};

inline bool PosSimNumber(const std::string& text, long minValue, long maxValue, long& value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < minValue || v > maxValue)
        return false;
    value = v;
    return true;
}

// HOST:PORT, the port from 1 to 65535; [v6]:PORT keeps the brackets off.
inline bool PosSimEndpoint(const std::string& text, std::string& host, std::string& port)
{
    const size_t colon = text.rfind(':');
    long n = 0;
    if (colon == std::string::npos || colon == 0 || !PosSimNumber(text.substr(colon + 1), 1, 65535, n))
        return false;
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    port = std::to_string(n);
    return true;
}

// POS_SIM_OK, or POS_SIM_USAGE with the reason in error.
inline int ParsePosSimArgs(const std::vector<std::string>& args, POS_SIM_OPTIONS& o, std::string& error)
{
    const long BIG = 2147483647L;
    struct NUMBER { const char* name; long* value; long minValue; long maxValue; };
    const NUMBER numbers[] = {
        {"--count", &o.nCount, 1, BIG},           {"--size", &o.nSize, 1, POS_SIM_MAX_SIZE},
        {"--interval", &o.nIntervalMs, 0, BIG},   {"--retry-ms", &o.nRetryMs, 0, BIG},
        {"--linger-ms", &o.nLingerMs, 0, BIG},    {"--check-ms", &o.nCheckMs, 0, BIG},
    };
    bool bEndpoint = false;
    bool bCountGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            o.bHelp = true;
            return POS_SIM_OK;
        }
        if (arg == "--reconnect") {
            o.bReconnect = true;
            continue;
        }
        if (arg == "--quiet") {
            o.bQuiet = true;
            continue;
        }
        const NUMBER* number = nullptr;
        for (const NUMBER& n : numbers) {
            if (arg == n.name)
                number = &n;
        }
        if (number != nullptr || arg == "--from") {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return POS_SIM_USAGE;
            }
            const std::string& value = args[++i];
            if (arg == "--from") {
                o.strFrom = value;
            } else if (!PosSimNumber(value, number->minValue, number->maxValue, *number->value)) {
                error = "bad value for " + arg + ": " + value;
                return POS_SIM_USAGE;
            }
            bCountGiven = bCountGiven || arg == "--count";
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option: " + arg;
            return POS_SIM_USAGE;
        }
        if (!bEndpoint) {
            if (!PosSimEndpoint(arg, o.strHost, o.strPort)) {
                error = "not HOST:PORT: " + arg;
                return POS_SIM_USAGE;
            }
            bEndpoint = true;
            continue;
        }
        o.files.push_back(arg);
    }
    if (!bEndpoint) {
        error = "HOST:PORT is missing";
        return POS_SIM_USAGE;
    }
    if (bCountGiven && !o.files.empty()) {
        error = "give files or --count, not both";
        return POS_SIM_USAGE;
    }
    if (!bCountGiven && o.files.empty())
        o.files.push_back("-");
    int nStdin = 0;
    for (const std::string& f : o.files) nStdin += f == "-" ? 1 : 0;
    if (nStdin > 1) {
        error = "standard input can be sent once only";
        return POS_SIM_USAGE;
    }
    return POS_SIM_OK;
}

// Generated receipt number k (from 1), exactly nSize bytes of printable
// receipt lines ending in CR LF where the size allows.
inline std::string PosSimSampleReceipt(long k, long nSize)
{
    static const char* const ITEMS[] = {"BREAD", "MILK 1L", "CHEESE", "APPLES", "COFFEE", "EGGS X6", "BUTTER", "TEA"};
    std::string text = "RECEIPT " + std::to_string(k) + "\r\n";
    long cents = 0;
    for (int line = 0; static_cast<long>(text.size()) < nSize; ++line) {
        const long price = 50 + (k * 37 + line * 113) % 900;
        cents += price;
        std::string item = ITEMS[(k + line) % 8];
        item.resize(10, ' ');
        text += item + " " + std::to_string(price / 100) + "." + (price % 100 < 10 ? "0" : "") +
                std::to_string(price % 100) + "\r\n";
        if (line % 6 == 5)
            text += "SUBTOTAL " + std::to_string(cents / 100) + "\r\n";
    }
    text.resize(static_cast<size_t>(nSize));
    if (nSize >= 2) {
        text[static_cast<size_t>(nSize - 2)] = '\r';
        text[static_cast<size_t>(nSize - 1)] = '\n';
    }
    return text;
}
