#include "ui/FillText.h"

std::string FillText(const std::string& format, const std::vector<std::string>& values)
{
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] >= '1' && format[i + 1] <= '9') {
            const size_t place = static_cast<size_t>(format[i + 1] - '1');
            if (place < values.size()) {
                out += values[place];
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}
