#include "base/Utf8Text.h"

#include <cstdint>

size_t Utf8SequenceLength(const unsigned char* p, size_t nLeft)
{
    if (nLeft == 0)
        return 0;
    const unsigned char c = p[0];
    size_t nLength;
    uint32_t nMin;
    uint32_t nCode;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        nLength = 2; nMin = 0x80; nCode = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        nLength = 3; nMin = 0x800; nCode = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        nLength = 4; nMin = 0x10000; nCode = c & 0x07;
    } else {
        return 0;
    }
    if (nLeft < nLength)
        return 0;
    for (size_t i = 1; i < nLength; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        nCode = (nCode << 6) | (p[i] & 0x3F);
    }
    if (nCode < nMin || nCode > 0x10FFFF || (nCode >= 0xD800 && nCode <= 0xDFFF))
        return 0;
    return nLength;
}

std::string ValidUtf8(const std::string& strText)
{
    std::string out;
    out.reserve(strText.size());
    const auto* p = reinterpret_cast<const unsigned char*>(strText.data());
    size_t i = 0;
    while (i < strText.size()) {
        const size_t n = Utf8SequenceLength(p + i, strText.size() - i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(strText, i, n);
            i += n;
        }
    }
    return out;
}
