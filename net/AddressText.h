#pragma once
// Peers' addresses as the program writes them in its log, its details and
// its counters.
#include <cstdint>
#include <string>

// Dotted text of an IPv4 address given in network byte order, e.g. "127.0.0.2".
std::string DottedIPv4(const uint8_t address[4]);
