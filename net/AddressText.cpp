#include "net/AddressText.h"

std::string DottedIPv4(const uint8_t address[4])
{
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
           std::to_string(address[3]);
}
