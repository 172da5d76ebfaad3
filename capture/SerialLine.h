#pragma once
#include <string>

// "None" -> "N", "Odd" -> "O", "Even" -> "E", "Mark" -> "M", "Space" -> "S"; anything else "".
std::string ParityLetter(const std::string& parity);
// The device-control definition, e.g. 9600,N,8,1 (stop bits: the part before the first ".").
std::string ComDefinition(const std::string& baudRate, const std::string& dataBits, const std::string& parity,
                          const std::string& stopBits);
// The device name that also reaches ports above COM9: COM12 -> \\.\COM12.
std::string ComDeviceName(const std::string& port);
