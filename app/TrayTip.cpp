#include "app/TrayTip.h"

namespace {

// The length in bytes of the UTF-8 character at text[nAt] and the UTF-16
// units it takes; a byte that begins no valid character stands alone.
void NextCharacter(const std::string& text, size_t nAt, size_t& nBytes, size_t& nUnits)
{
    const unsigned char lead = static_cast<unsigned char>(text[nAt]);
    size_t nLength = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        nLength = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        nLength = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        nLength = 4;
    bool bValid = nLength > 1 && nAt + nLength <= text.size();
    for (size_t i = 1; bValid && i < nLength; ++i)
        bValid = (static_cast<unsigned char>(text[nAt + i]) & 0xC0) == 0x80;
    if (!bValid) {
        nBytes = 1;
        nUnits = 1;
        return;
    }
    nBytes = nLength;
    nUnits = nLength == 4 ? 2 : 1;
}

}  // namespace

size_t Utf16Length(const std::string& text)
{
    size_t nUnits = 0;
    for (size_t nAt = 0; nAt < text.size();) {
        size_t nBytes = 0, nCharUnits = 0;
        NextCharacter(text, nAt, nBytes, nCharUnits);
        nAt += nBytes;
        nUnits += nCharUnits;
    }
    return nUnits;
}

std::string CutText(const std::string& text, size_t nMaxUnits)
{
    size_t nEnd = 0, nUnits = 0;
    while (nEnd < text.size()) {
        size_t nBytes = 0, nCharUnits = 0;
        NextCharacter(text, nEnd, nBytes, nCharUnits);
        if (nUnits + nCharUnits > nMaxUnits)
            break;
        nEnd += nBytes;
        nUnits += nCharUnits;
    }
    return text.substr(0, nEnd);
}

std::string FillPlaceholders(const std::string& format, const std::vector<std::string>& arguments)
{
    std::string result;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char next = format[i + 1];
            if (next == '%') {
                result += '%';
                ++i;
                continue;
            }
            if (next >= '1' && next <= '9' && static_cast<size_t>(next - '1') < arguments.size()) {
                result += arguments[static_cast<size_t>(next - '1')];
                ++i;
                continue;
            }
        }
        result += format[i];
    }
    return result;
}

int CountConnected(const std::vector<std::string>& statuses, const std::vector<std::string>& connectedTexts)
{
    int nCount = 0;
    for (const auto& status : statuses) {
        for (const auto& connected : connectedTexts) {
            if (!connected.empty() && status == connected) {
                ++nCount;
                break;
            }
        }
    }
    return nCount;
}

std::string MakeTrayTip(const TRAY_TIP_INPUT& input)
{
    if (!input.bRunning || input.strRunningFormat.empty())
        return CutText(input.strName, TRAY_TIP_MAX);
    const std::vector<std::string> counts = {std::to_string(input.nConnected), std::to_string(input.nSources)};
    std::string tip = FillPlaceholders(input.strRunningFormat, {input.strName, counts[0], counts[1]});
    if (Utf16Length(tip) <= TRAY_TIP_MAX)
        return tip;
    const std::string withoutName = FillPlaceholders(input.strRunningFormat, {std::string(), counts[0], counts[1]});
    const size_t nWithoutName = Utf16Length(withoutName);
    if (nWithoutName < TRAY_TIP_MAX) {
        const std::string name = CutText(input.strName, TRAY_TIP_MAX - nWithoutName);
        tip = FillPlaceholders(input.strRunningFormat, {name, counts[0], counts[1]});
        if (Utf16Length(tip) <= TRAY_TIP_MAX)
            return tip;
    }
    return CutText(tip, TRAY_TIP_MAX);
}
