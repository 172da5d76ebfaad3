#include "base/LogLine.h"

#include "base/Utf8Text.h"

#include <cstdio>

namespace {

void AppendClean(std::string& out, const std::string& in)
{
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    size_t i = 0;
    while (i < in.size()) {
        const size_t n = Utf8SequenceLength(p + i, in.size() - i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else if (n == 1 && (p[i] < 0x20 || p[i] == 0x7F)) {
            out += ' ';
            ++i;
        } else {
            out.append(in, i, n);
            i += n;
        }
    }
}

}  // namespace

const char* LogLevelWord(LOG_LEVEL level)
{
    switch (level) {
    case LOG_LEVEL::LEVEL_WARNING: return "warning";
    case LOG_LEVEL::LEVEL_ERROR: return "error";
    case LOG_LEVEL::LEVEL_INFO: break;
    }
    return "info";
}

std::string FormatLogLine(const LOG_TIME& time, LOG_LEVEL level, const std::string& strSource,
    const std::string& strText)
{
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", time.nYear, time.nMonth,
        time.nDay, time.nHour, time.nMinute, time.nSecond, time.nMillisecond);
    std::string line = stamp;
    line += LogLevelWord(level);
    line += ' ';
    AppendClean(line, strSource);
    line += ": ";
    AppendClean(line, strText);
    line += "\r\n";
    return line;
}

std::string LogFileName(int nIndex)
{
    if (nIndex == 0)
        return "Tillvox.log";
    return "Tillvox." + std::to_string(nIndex) + ".log";
}

bool LogNeedsRotation(uint64_t nFileBytes, uint64_t nLineBytes, uint64_t nLimit)
{
    return nFileBytes > 0 && nFileBytes + nLineBytes > nLimit;
}

std::vector<LOG_RENAME> LogRotationSteps()
{
    std::vector<LOG_RENAME> steps;
    steps.push_back({LogFileName(LOG_FILES_KEPT - 1), ""});
    for (int i = LOG_FILES_KEPT - 1; i > 0; --i)
        steps.push_back({LogFileName(i - 1), LogFileName(i)});
    return steps;
}
