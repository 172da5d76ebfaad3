#pragma once
// The tray icon's tip: the program's name, and while capture runs how many
// sources are connected. Texts are UTF-8; the tip is kept to what the
// notification record holds, counted in UTF-16 units as the record holds them.
#include <string>
#include <vector>

// UTF-16 units of the tip, without its terminating zero.
constexpr size_t TRAY_TIP_MAX = 63;

// The UTF-16 units a UTF-8 text takes; a byte that begins no valid character counts as one.
size_t Utf16Length(const std::string& text);

// The text cut to at most nMaxUnits UTF-16 units, never inside a character.
std::string CutText(const std::string& text, size_t nMaxUnits);

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
std::string MakeTrayTip(const TRAY_TIP_INPUT& input);
