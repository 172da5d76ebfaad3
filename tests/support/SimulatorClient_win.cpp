#include "tests/support/SimulatorClient.h"

std::string CSimulatorClient::Ask(const std::string& command)
{
    if (!SendAll(command + "\n")) return "send failed";
    std::string answer;
    for (;;) {
        const std::string c = ReceiveUpTo(1, 10000);
        if (c.empty() || c == "\n") return answer;
        answer += c;
    }
}
