#include "config/OposSettings.h"

#include <cstdint>
#include <vector>

namespace {

// One part of a dotted address: decimal, octal with a leading 0, or hexadecimal with 0x.
bool ParsePart(const std::string& text, size_t& at, uint64_t& value)
{
    int base = 10;
    if (at < text.size() && text[at] == '0') {
        base = 8;
        if (at + 1 < text.size() && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
            base = 16;
            at += 2;
        }
    }
    const size_t start = at;
    value = 0;
    while (at < text.size()) {
        const char c = text[at];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        if (digit >= base)
            return false;
        value = value * base + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull)
            return false;
        ++at;
    }
    // "0x" alone is no number; a lone "0" is.
    return at > start || base == 8;
}

}  // namespace

int OposAddressValue(const std::string& ip)
{
    std::vector<uint64_t> parts;
    size_t at = 0;
    for (;;) {
        uint64_t value = 0;
        if (!ParsePart(ip, at, value))
            return -1;
        parts.push_back(value);
        if (at == ip.size())
            break;
        if (ip[at] != '.' || parts.size() == 4)
            return -1;
        ++at;
    }
    uint64_t address = 0;
    switch (parts.size()) {
    case 1:
        address = parts[0];
        break;
    case 2:
        if (parts[0] > 0xFF || parts[1] > 0xFFFFFF)
            return -1;
        address = parts[0] << 24 | parts[1];
        break;
    case 3:
        if (parts[0] > 0xFF || parts[1] > 0xFF || parts[2] > 0xFFFF)
            return -1;
        address = parts[0] << 24 | parts[1] << 16 | parts[2];
        break;
    default:
        for (uint64_t part : parts)
            if (part > 0xFF)
                return -1;
        address = parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3];
        break;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(address));
}

void WriteOposSettings(CProfileStore& store, const std::string& ip, int port, const std::string& name)
{
    store.WriteString(OPOS_SECTION, "IP", std::to_string(OposAddressValue(ip)));
    store.WriteString(OPOS_SECTION, "Port", std::to_string(port));
    store.WriteString(OPOS_SECTION, "Name", name);
}
