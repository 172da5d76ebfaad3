#pragma once
// What the details view of the main window shows for one source, as plain
// text: its counters with their labels, and its last receipt as a text box
// can show it. The window supplies the language texts and the clock.
#include "base/SourceCounters.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A moment as a clock shows it.
struct CLOCK_TIME {
    int nYear = 0, nMonth = 0, nDay = 0, nHour = 0, nMinute = 0, nSecond = 0;
};
// Seconds since 1970 (UTC) to the local clock; false when it cannot say.
using TO_LOCAL_TIME = std::function<bool(int64_t nUnixSeconds, CLOCK_TIME& local)>;

// The rows of the view, in the order shown.
enum DETAIL_ROW {
    DETAIL_RECEIPTS,
    DETAIL_CAPTURED,
    DETAIL_SENT,
    DETAIL_ACKNOWLEDGED,
    DETAIL_QUEUED,
    DETAIL_DROPPED,
    DETAIL_RECONNECTS,
    DETAIL_REFUSED_PASSWORD,
    DETAIL_REFUSED_JUNK,
    DETAIL_REFUSED_TILL,
    DETAIL_LAST_RECEIPT,
    DETAIL_LAST_ACK,
    DETAIL_RECORDER,
    DETAIL_ROW_COUNT
};

// The language key of each row's label, in row order.
extern const char* const DETAIL_LABEL_KEYS[DETAIL_ROW_COUNT];

// Language texts the values are made of (UTF-8). The units hold "%1" where the number goes.
struct DETAIL_TEXTS {
    std::string strLabels[DETAIL_ROW_COUNT];
    std::string strBytes = "%1";
    std::string strKilobytes = "%1";
    std::string strMegabytes = "%1";
    std::string strGigabytes = "%1";
    std::string strNever;       // a time that has not come yet
    std::string strNoRecorder;  // no recorder logged in
    std::string strDecimal = ".";
};

struct DETAIL_LINE {
    std::string strLabel;
    std::string strValue;
};

// A byte count in the largest unit (of 1024) it reaches: one decimal below ten units, whole above.
std::string ReadableBytes(uint64_t nBytes, const DETAIL_TEXTS& texts);
// "2026-12-11 14:03:27" on the local clock; the "never" text for 0; UTC, marked so, when the local clock cannot say.
std::string TimeText(int64_t nUnixSeconds, const DETAIL_TEXTS& texts, const TO_LOCAL_TIME& toLocal);
// The UTC clock of a moment.
CLOCK_TIME UtcClock(int64_t nUnixSeconds);

std::vector<DETAIL_LINE> DetailLines(const SOURCE_COUNTERS_SNAPSHOT& snapshot, const DETAIL_TEXTS& texts,
                                     const TO_LOCAL_TIME& toLocal);
bool SameCounters(const SOURCE_COUNTERS_SNAPSHOT& a, const SOURCE_COUNTERS_SNAPSHOT& b);

// Receipt bytes for a multi-line text box: every line break (CR LF, LF or a
// lone CR) becomes CR LF, tabs stay, and every other control byte shows as its
// ASCII name in angle brackets ("<ESC>", "<NUL>"). Bytes from 0x80 up stay as
// they are: they are the till's code page, decoded by the window.
std::string VisibleReceipt(const std::string& receipt);
