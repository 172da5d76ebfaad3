#include "output/SerialLine.h"

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

COM_WRITE_TIMEOUTS ComWriteTimeouts(const std::string& baudRate)
{
    const unsigned nConstantMs = 500;
    // Leading digits only, as the device-control definition reads them.
    unsigned long nBaud = 0;
    for (char c : baudRate) {
        if (c < '0' || c > '9' || nBaud > 10000000)
            break;
        nBaud = nBaud * 10 + static_cast<unsigned long>(c - '0');
    }
    if (nBaud == 0)
        nBaud = 110;  // the slowest standard speed: an unknown speed must not cut a write short
    const unsigned long nBitsPerByte = 12;  // start + 8 data + parity + 2 stop
    const unsigned long nPerByteMs = (nBitsPerByte * 1000 + nBaud - 1) / nBaud;
    return COM_WRITE_TIMEOUTS{static_cast<unsigned>(nPerByteMs), nConstantMs};
}
