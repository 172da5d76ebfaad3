#pragma once
#include <string>

// "None" -> "N", "Odd" -> "O", "Even" -> "E", "Mark" -> "M", "Space" -> "S"; anything else "".
std::string ParityLetter(const std::string& parity);
// The device-control definition, e.g. 9600,N,8,1 (stop bits: the part before the first ".").
std::string ComDefinition(const std::string& baudRate, const std::string& dataBits, const std::string& parity,
                          const std::string& stopBits);
// The device name that also reaches ports above COM9: COM12 -> \\.\COM12.
std::string ComDeviceName(const std::string& port);

// Write time-outs for one write of at most nMaxWrite bytes: a fixed part plus
// the time each byte takes on the line (start, data, parity and stop bits at
// the worst), so that a full write at a slow speed can finish.
struct COM_WRITE_TIMEOUTS {
    unsigned nPerByteMs;
    unsigned nConstantMs;
};
COM_WRITE_TIMEOUTS ComWriteTimeouts(const std::string& baudRate);
