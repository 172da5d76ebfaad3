#include "app/TrayTip.h"

std::string CutText(const std::string& text, size_t nMaxBytes, const LEAD_BYTE_TEST& isLeadByte)
{
    size_t nEnd = 0;
    while (nEnd < text.size()) {
        const size_t nChar = isLeadByte(static_cast<unsigned char>(text[nEnd])) && nEnd + 1 < text.size() ? 2 : 1;
        if (nEnd + nChar > nMaxBytes)
            break;
        nEnd += nChar;
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

std::string MakeTrayTip(const TRAY_TIP_INPUT& input, const LEAD_BYTE_TEST& isLeadByte)
{
    if (!input.bRunning || input.strRunningFormat.empty())
        return CutText(input.strName, TRAY_TIP_MAX, isLeadByte);
    const std::vector<std::string> counts = {std::to_string(input.nConnected), std::to_string(input.nSources)};
    std::string tip = FillPlaceholders(input.strRunningFormat, {input.strName, counts[0], counts[1]});
    if (tip.size() <= TRAY_TIP_MAX)
        return tip;
    const std::string withoutName = FillPlaceholders(input.strRunningFormat, {std::string(), counts[0], counts[1]});
    if (withoutName.size() < TRAY_TIP_MAX) {
        const std::string name = CutText(input.strName, TRAY_TIP_MAX - withoutName.size(), isLeadByte);
        tip = FillPlaceholders(input.strRunningFormat, {name, counts[0], counts[1]});
        if (tip.size() <= TRAY_TIP_MAX)
            return tip;
    }
    return CutText(tip, TRAY_TIP_MAX, isLeadByte);
}
