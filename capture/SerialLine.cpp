#include "capture/SerialLine.h"

std::string ParityLetter(const std::string& parity)
{
    static const struct { const char* name; const char* letter; } table[] = {
        {"None", "N"}, {"Odd", "O"}, {"Even", "E"}, {"Mark", "M"}, {"Space", "S"},
    };
    for (const auto& entry : table)
        if (parity == entry.name)
            return entry.letter;
    return std::string();
}

std::string ComDefinition(const std::string& baudRate, const std::string& dataBits, const std::string& parity,
                          const std::string& stopBits)
{
    return baudRate + "," + ParityLetter(parity) + "," + dataBits + "," + stopBits.substr(0, stopBits.find('.'));
}

std::string ComDeviceName(const std::string& port)
{
    return "\\\\.\\" + port;
}
