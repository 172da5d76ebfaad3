// infogenesis-send: hands commands to a running Infogenesis simulator library
// (see SimAdapter.cpp for the commands) and prints each answer.
//   infogenesis-send [--host H] <receive port> <command words...>
//   infogenesis-send [--host H] <receive port>      (one command per line from stdin)
// Ends with 0 when every command was answered without "ERR".
#include "tools/common/SimSocket.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

bool Ask(CSimSocket& socket, const std::string& command)
{
    const std::string line = command + "\n";
    if (!socket.SendAll(line.data(), line.size())) {
        std::fprintf(stderr, "send failed (error %d)\n", CSimSocket::LastError());
        return false;
    }
    std::string answer;
    char c = 0;
    for (;;) {
        const int n = socket.Receive(&c, 1, 10000);
        if (n <= 0) {
            std::fprintf(stderr, "no answer to \"%s\"\n", command.c_str());
            return false;
        }
        if (c == '\n')
            break;
        answer.push_back(c);
    }
    std::printf("%s\n", answer.c_str());
    return answer.compare(0, 3, "ERR") != 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string host = "127.0.0.1";
    int i = 1;
    if (i + 1 < argc && std::string(argv[i]) == "--host") {
        host = argv[i + 1];
        i += 2;
    }
    if (i >= argc) {
        std::fprintf(stderr, "usage: infogenesis-send [--host H] <receive port> [command words...]\n");
        return 2;
    }
    const std::string port = argv[i++];
    if (!CSimSocket::StartUp()) {
        std::fprintf(stderr, "the socket library is unusable\n");
        return 1;
    }
    CSimSocket socket;
    std::string error;
    if (!socket.Connect(host, port, error)) {
        std::fprintf(stderr, "cannot connect to %s:%s: %s\n", host.c_str(), port.c_str(), error.c_str());
        return 1;
    }
    if (i < argc) {
        std::string command = argv[i++];
        for (; i < argc; ++i)
            command += std::string(" ") + argv[i];
        return Ask(socket, command) ? 0 : 1;
    }
    bool bAllGood = true;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && !Ask(socket, line))
            bAllGood = false;
    }
    return bAllGood ? 0 : 1;
}
