#pragma once
#include <cstddef>
#include <string>

// Length of the well-formed UTF-8 sequence at p (nLeft bytes available), or 0
// when the bytes there are not UTF-8 (overlong, surrogate, cut short, stray).
size_t Utf8SequenceLength(const unsigned char* p, size_t nLeft);

// The text with every byte that is not part of a well-formed sequence
// replaced by U+FFFD; well-formed text comes back unchanged.
std::string ValidUtf8(const std::string& strText);
