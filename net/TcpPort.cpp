#include "net/TcpPort.h"

#include <cctype>

int ParseTcpPortNumber(const std::string& port)
{
    size_t at = 0;
    if (port.find("TCP") != std::string::npos) {
        const size_t wrapper = port.find("TCP(");
        at = wrapper == std::string::npos ? port.find("TCP") + 3 : wrapper + 4;
    }
    long number = 0;
    size_t digits = 0;
    for (size_t k = at; k < port.size() && std::isdigit(static_cast<unsigned char>(port[k])); ++k, ++digits) {
        number = number * 10 + (port[k] - '0');
        if (number > 65535)
            return -1;
    }
    return digits > 0 && number > 0 ? static_cast<int>(number) : -1;
}
