#pragma once
// Starts the program on the desktop of the user logged on at the console, with
// that user's token (its full, linked half for an administrator); never with
// the service's own.
#include <windows.h>

#include <string>

enum USER_START_RESULT {
    USER_START_DONE,
    USER_START_NO_USER,  // nobody at the console: try again when someone logs on
    USER_START_FAILED,
};

struct USER_START {
    USER_START_RESULT result = USER_START_FAILED;
    DWORD dwProcessId = 0;
    DWORD dwSession = 0;
    std::string strToken;  // which token: for the log
    DWORD dwError = 0;
};

USER_START StartForConsoleUser(const std::string& exePath, const std::string& args, const std::string& folder);
