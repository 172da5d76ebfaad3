#pragma once
// The tray icon's tip: the program's name, and while capture runs how many
// sources are connected. Kept to what the notification record holds.
#include <functional>
#include <string>
#include <vector>

// Characters of the tip, without its terminating zero.
constexpr size_t TRAY_TIP_MAX = 63;

// True for the first byte of a two-byte character of the ANSI code page.
using LEAD_BYTE_TEST = std::function<bool(unsigned char)>;

// The text cut to at most nMaxBytes bytes, never inside a two-byte character.
std::string CutText(const std::string& text, size_t nMaxBytes, const LEAD_BYTE_TEST& isLeadByte);

// The format with %1, %2 and %3 replaced by the arguments; "%%" gives one "%".
// Anything else after a "%" is kept as it is, so a text from the language file
// can never make the program read arguments it has not got.
std::string FillPlaceholders(const std::string& format, const std::vector<std::string>& arguments);

// Rows whose status is one of the connected texts; an empty text never counts.
int CountConnected(const std::vector<std::string>& statuses, const std::vector<std::string>& connectedTexts);

struct TRAY_TIP_INPUT {
    std::string strName;         // IDS_PTS_DLG_NAME
    std::string strRunningFormat;  // %1 name, %2 connected, %3 sources
    bool bRunning = false;
    int nConnected = 0;
    int nSources = 0;
};

// Stopped: the name. Running: the running format filled in; when that is too
// long the name is shortened first, so that the count stays readable.
std::string MakeTrayTip(const TRAY_TIP_INPUT& input, const LEAD_BYTE_TEST& isLeadByte);
