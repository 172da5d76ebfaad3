#pragma once
#include <cstddef>
#include <cstdint>

// CRC-32 (the polynomial of zip and Ethernet); pass an earlier result as crc to continue it.
uint32_t Crc32(const uint8_t* bytes, size_t count, uint32_t crc = 0);
