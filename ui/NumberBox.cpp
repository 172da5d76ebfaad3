#include "ui/NumberBox.h"

#include <cstdint>

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

NUMBER_BOX_CHECK CheckNumberBox(const std::string& text, unsigned nMin, unsigned nMax, unsigned& nValue)
{
    size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    const size_t start = at;
    uint64_t value = 0;
    bool bTooBig = false;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        value = value * 10 + static_cast<uint64_t>(text[at] - '0');
        if (value > 0xFFFFFFFFull) {
            bTooBig = true;
            value = 0xFFFFFFFFull;
        }
        ++at;
    }
    if (at == start)
        return NUMBER_BOX_CHECK::NotPositiveInteger;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    if (at != text.size())
        return NUMBER_BOX_CHECK::NotPositiveInteger;
    if (bTooBig || value < nMin || value > nMax)
        return NUMBER_BOX_CHECK::OutOfRange;
    nValue = static_cast<unsigned>(value);
    return NUMBER_BOX_CHECK::Ok;
}

std::string FillRangeText(const std::string& format, unsigned nMin, unsigned nMax)
{
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == '1' || format[i + 1] == '2')) {
            out += std::to_string(format[i + 1] == '1' ? nMin : nMax);
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}
