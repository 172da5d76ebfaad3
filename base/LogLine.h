#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum class LOG_LEVEL { LEVEL_INFO, LEVEL_WARNING, LEVEL_ERROR };

// The name a line carries when it is about the program rather than one source.
constexpr char LOG_PROGRAM_NAME[] = "Tillvox";

struct LOG_TIME {
    int nYear = 1970;
    int nMonth = 1;  // 1..12
    int nDay = 1;
    int nHour = 0;
    int nMinute = 0;
    int nSecond = 0;
    int nMillisecond = 0;
};

// One line of the log file, CR LF included:
//   "2026-12-11 03:04:05.123 warning POS3: text"
// Line breaks and other control characters in the name or text become blanks
// and bytes that are not UTF-8 become U+FFFD, so one event is always one line
// and the file stays valid UTF-8 whatever a till or a peer sent.
std::string FormatLogLine(const LOG_TIME& time, LOG_LEVEL level, const std::string& strSource,
    const std::string& strText);

const char* LogLevelWord(LOG_LEVEL level);

// Rotation keeps LOG_FILES_KEPT files: "Tillvox.log" (the one written),
// then "Tillvox.1.log" (the newest old one) up to "Tillvox.4.log".
constexpr uint64_t LOG_ROTATE_BYTES = 1024 * 1024;
constexpr int LOG_FILES_KEPT = 5;

// File name of generation nIndex (0 = the current file).
std::string LogFileName(int nIndex);

// Whether the current file must be moved aside before a line of nLineBytes is
// appended. A file never rotates while empty, so a line longer than the limit
// still gets written.
bool LogNeedsRotation(uint64_t nFileBytes, uint64_t nLineBytes, uint64_t nLimit = LOG_ROTATE_BYTES);

// The renames that rotate the files, oldest first: {from, to} names, where
// the oldest generation is removed first (to = "").
struct LOG_RENAME {
    std::string strFrom;
    std::string strTo;
};
std::vector<LOG_RENAME> LogRotationSteps();
