#include "tests/support/WineEventLines.h"

#include <cstdint>
#include <sstream>

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-16 units to UTF-8; a surrogate without its partner becomes U+FFFD.
std::string Utf8FromUnits(const std::u16string& units)
{
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        const uint32_t unit = units[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00u));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

}  // namespace

bool DecodeWineDebugString(const std::string& printed, std::string& text, bool& bTruncated)
{
    if (printed.size() < 3 || printed[0] != 'L' || printed[1] != '"')
        return false;
    std::u16string units;
    size_t i = 2;
    for (;;) {
        if (i >= printed.size())
            return false;  // no closing quote
        const char c = printed[i];
        if (c == '"')
            break;
        if (c != '\\') {
            units += static_cast<char16_t>(static_cast<unsigned char>(c));
            ++i;
            continue;
        }
        if (i + 1 >= printed.size())
            return false;
        const char e = printed[i + 1];
        switch (e) {
        case '\\': units += u'\\'; i += 2; continue;
        case '"': units += u'"'; i += 2; continue;
        case 'n': units += u'\n'; i += 2; continue;
        case 'r': units += u'\r'; i += 2; continue;
        case 't': units += u'\t'; i += 2; continue;
        default: break;
        }
        if (i + 5 > printed.size())
            return false;
        uint32_t unit = 0;
        for (size_t k = 1; k <= 4; ++k) {
            const int digit = HexDigit(printed[i + k]);
            if (digit < 0)
                return false;
            unit = unit * 16 + static_cast<uint32_t>(digit);
        }
        units += static_cast<char16_t>(unit);
        i += 5;
    }
    const std::string rest = printed.substr(i + 1);
    if (rest != "" && rest != "...")
        return false;
    bTruncated = rest == "...";
    text = Utf8FromUnits(units);
    return true;
}

std::vector<WINE_EVENT_ENTRY> WineEventEntries(const std::string& debugOutput)
{
    static const struct { const char* marker; bool bError; } kinds[] = {
        {":err:eventlog:ReportEventW ", true},
        {":warn:eventlog:ReportEventW ", false},
    };
    std::vector<WINE_EVENT_ENTRY> entries;
    std::istringstream in(debugOutput);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        for (const auto& kind : kinds) {
            const size_t at = line.find(kind.marker);
            if (at == std::string::npos)
                continue;
            WINE_EVENT_ENTRY entry;
            entry.bError = kind.bError;
            if (DecodeWineDebugString(line.substr(at + std::string(kind.marker).size()), entry.strText,
                    entry.bTruncated))
                entries.push_back(entry);
            break;
        }
    }
    return entries;
}
