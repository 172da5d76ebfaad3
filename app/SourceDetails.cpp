#include "app/SourceDetails.h"

#include "ui/FillText.h"

#include <cmath>
#include <cstdio>

const char* const DETAIL_LABEL_KEYS[DETAIL_ROW_COUNT] = {
    "IDS_DETAILS_RECEIPTS",       "IDS_DETAILS_CAPTURED",        "IDS_DETAILS_SENT",
    "IDS_DETAILS_ACKNOWLEDGED",   "IDS_DETAILS_QUEUED",          "IDS_DETAILS_DROPPED",
    "IDS_DETAILS_RECONNECTS",     "IDS_DETAILS_REFUSED_PASSWORD", "IDS_DETAILS_REFUSED_JUNK",
    "IDS_DETAILS_REFUSED_TILL",   "IDS_DETAILS_LAST_RECEIPT_TIME", "IDS_DETAILS_LAST_ACK_TIME",
    "IDS_DETAILS_RECORDER",
};

namespace {

const char* const CONTROL_NAMES[32] = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",  "VT", "FF", "CR", "SO", "SI",
    "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS", "GS", "RS", "US",
};

std::string Number(uint64_t n) { return std::to_string(n); }

}  // namespace

std::string ReadableBytes(uint64_t nBytes, const DETAIL_TEXTS& texts)
{
    if (nBytes < 1024)
        return FillText(texts.strBytes, {Number(nBytes)});
    const std::string* units[] = {&texts.strKilobytes, &texts.strMegabytes, &texts.strGigabytes};
    int k = 0;
    double unit = 1024.0;
    while (k < 2 && static_cast<double>(nBytes) >= unit * 1024.0) {
        ++k;
        unit *= 1024.0;
    }
    for (;;) {
        const double value = static_cast<double>(nBytes) / unit;
        const long long tenths = std::llround(value * 10.0);
        if (tenths < 100) {
            const std::string shown = Number(static_cast<uint64_t>(tenths / 10)) + texts.strDecimal +
                                      Number(static_cast<uint64_t>(tenths % 10));
            return FillText(*units[k], {shown});
        }
        const double whole = std::round(value);
        // 1023.6 KB is shown as 1.0 MB, not as 1024 KB.
        if (whole >= 1024.0 && k < 2) {
            ++k;
            unit *= 1024.0;
            continue;
        }
        char shown[32] = {};
        std::snprintf(shown, sizeof shown, "%.0f", whole);
        return FillText(*units[k], {shown});
    }
}

CLOCK_TIME UtcClock(int64_t nUnixSeconds)
{
    // Days since 1970 to the civil date of the proleptic Gregorian calendar.
    int64_t days = nUnixSeconds / 86400;
    int64_t seconds = nUnixSeconds % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    CLOCK_TIME clock;
    clock.nYear = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    clock.nMonth = static_cast<int>(month);
    clock.nDay = static_cast<int>(day);
    clock.nHour = static_cast<int>(seconds / 3600);
    clock.nMinute = static_cast<int>(seconds / 60 % 60);
    clock.nSecond = static_cast<int>(seconds % 60);
    return clock;
}

std::string TimeText(int64_t nUnixSeconds, const DETAIL_TEXTS& texts, const TO_LOCAL_TIME& toLocal)
{
    if (nUnixSeconds == 0)
        return texts.strNever;
    CLOCK_TIME clock;
    const bool bLocal = toLocal && toLocal(nUnixSeconds, clock);
    if (!bLocal)
        clock = UtcClock(nUnixSeconds);
    char text[64] = {};
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d%s", clock.nYear, clock.nMonth, clock.nDay,
                  clock.nHour, clock.nMinute, clock.nSecond, bLocal ? "" : " UTC");
    return text;
}

std::vector<DETAIL_LINE> DetailLines(const SOURCE_COUNTERS_SNAPSHOT& snapshot, const DETAIL_TEXTS& texts,
                                     const TO_LOCAL_TIME& toLocal)
{
    std::string values[DETAIL_ROW_COUNT];
    values[DETAIL_RECEIPTS] = Number(snapshot.nReceiptsCaptured);
    values[DETAIL_CAPTURED] = ReadableBytes(snapshot.nBytesCaptured, texts);
    values[DETAIL_SENT] = ReadableBytes(snapshot.nBytesSent, texts);
    values[DETAIL_ACKNOWLEDGED] = ReadableBytes(snapshot.nBytesAcknowledged, texts);
    values[DETAIL_QUEUED] = ReadableBytes(snapshot.nBytesQueued, texts);
    values[DETAIL_DROPPED] = ReadableBytes(snapshot.nBytesDropped, texts);
    values[DETAIL_RECONNECTS] = Number(snapshot.nRecorderReconnects);
    values[DETAIL_REFUSED_PASSWORD] = Number(snapshot.nRefused[static_cast<int>(REFUSAL_REASON::WRONG_PASSWORD)]);
    values[DETAIL_REFUSED_JUNK] = Number(snapshot.nRefused[static_cast<int>(REFUSAL_REASON::JUNK)]);
    values[DETAIL_REFUSED_TILL] = Number(snapshot.nRefused[static_cast<int>(REFUSAL_REASON::UNKNOWN_TILL)]);
    values[DETAIL_LAST_RECEIPT] = TimeText(snapshot.nLastReceiptTime, texts, toLocal);
    values[DETAIL_LAST_ACK] = TimeText(snapshot.nLastAckTime, texts, toLocal);
    values[DETAIL_RECORDER] = snapshot.strRecorderAddress.empty() ? texts.strNoRecorder : snapshot.strRecorderAddress;
    std::vector<DETAIL_LINE> lines;
    for (int row = 0; row < DETAIL_ROW_COUNT; ++row)
        lines.push_back({texts.strLabels[row], values[row]});
    return lines;
}

bool SameCounters(const SOURCE_COUNTERS_SNAPSHOT& a, const SOURCE_COUNTERS_SNAPSHOT& b)
{
    for (int i = 0; i < REFUSAL_REASON_COUNT; ++i) {
        if (a.nRefused[i] != b.nRefused[i])
            return false;
    }
    return a.nBytesCaptured == b.nBytesCaptured && a.nReceiptsCaptured == b.nReceiptsCaptured &&
           a.nBytesSent == b.nBytesSent && a.nBytesAcknowledged == b.nBytesAcknowledged &&
           a.nBytesQueued == b.nBytesQueued && a.nBytesDropped == b.nBytesDropped &&
           a.nRecorderReconnects == b.nRecorderReconnects && a.nLastReceiptTime == b.nLastReceiptTime &&
           a.nLastAckTime == b.nLastAckTime && a.strRecorderAddress == b.strRecorderAddress;
}

std::string VisibleReceipt(const std::string& receipt)
{
    std::string shown;
    shown.reserve(receipt.size() + receipt.size() / 8);
    for (size_t i = 0; i < receipt.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(receipt[i]);
        if (c == '\r') {
            shown += "\r\n";
            if (i + 1 < receipt.size() && receipt[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            shown += "\r\n";
        } else if (c == '\t') {
            shown += '\t';
        } else if (c < 0x20) {
            shown += std::string("<") + CONTROL_NAMES[c] + ">";
        } else if (c == 0x7F) {
            shown += "<DEL>";
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}
