#pragma once
#include "base/LogLine.h"

#include <cstdint>
#include <string>

// Event ids of the message table in res/EventMessages.mc (Tillvox.exe's
// resources): each shows its one insertion string.
constexpr uint32_t EVENT_ID_INFO = 1;
constexpr uint32_t EVENT_ID_WARNING = 2;
constexpr uint32_t EVENT_ID_ERROR = 3;

uint32_t EventIdForLevel(LOG_LEVEL level);

// The text of an entry: the source's name, the event, and how many like it
// were held back since the previous entry.
std::string EventLogText(const std::string& strSource, const std::string& strText, uint64_t nSuppressed);

// The entry for a flood that stopped: only its kind and count are known.
std::string EventLogSummaryText(const std::string& strSource, const std::string& strKind, uint64_t nSuppressed);
