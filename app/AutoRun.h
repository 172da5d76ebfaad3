#pragma once
// The "start with Windows" entry: a Run value that starts the program in
// monitor mode, mirrored in the settings file so the box shows it at start-up.
#include <string>

constexpr char AUTORUN_KEY[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char AUTORUN_VALUE[] = "Kassimo";
constexpr char AUTORUN_SECTION[] = "AutoExecute";
constexpr char AUTORUN_SETTING[] = "AutoExecute";
// GetModuleFileNameA is given a buffer of this size for the executable's path.
constexpr unsigned AUTORUN_PATH_MAX = 310;

// The command Windows runs at log-on: the quoted executable path, a blank and -"Monitor".
std::string AutoRunCommand(const std::string& exePath);

// What the settings file holds for the box: "1" or "0".
inline const char* AutoRunSettingText(bool bOn) { return bOn ? "1" : "0"; }
