#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t MD5_DIGEST_SIZE = 16;

// MD5 (RFC 1321) of size bytes at data, as the 16 raw digest bytes.
void Md5Digest(const uint8_t* data, size_t size, uint8_t digest[MD5_DIGEST_SIZE]);

// MD5 of size bytes at data as 32 lower-case hexadecimal characters.
std::string Md5Hex(const uint8_t* data, size_t size);

// MD5 of the exact bytes of text (no terminator) as 32 lower-case hexadecimal characters.
std::string Md5Hex(const std::string& text);
