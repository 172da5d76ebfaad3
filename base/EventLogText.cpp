#include "base/EventLogText.h"

uint32_t EventIdForLevel(LOG_LEVEL level)
{
    switch (level) {
    case LOG_LEVEL::LEVEL_WARNING: return EVENT_ID_WARNING;
    case LOG_LEVEL::LEVEL_ERROR: return EVENT_ID_ERROR;
    case LOG_LEVEL::LEVEL_INFO: break;
    }
    return EVENT_ID_INFO;
}

std::string EventLogText(const std::string& strSource, const std::string& strText, uint64_t nSuppressed)
{
    std::string text = strSource + ": " + strText;
    if (nSuppressed == 1)
        text += " (1 more like it was not entered since the previous entry)";
    else if (nSuppressed > 1)
        text += " (" + std::to_string(nSuppressed) + " more like it were not entered since the previous entry)";
    return text;
}

std::string EventLogSummaryText(const std::string& strSource, const std::string& strKind, uint64_t nSuppressed)
{
    return strSource + ": " + strKind + " happened " + std::to_string(nSuppressed) + " more " +
        (nSuppressed == 1 ? "time" : "times") + " since the previous entry";
}
