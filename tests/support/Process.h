#pragma once
#include <windows.h>

#include <string>

// A variable of the environment the tests run in (WINEPREFIX, TILLVOX_BIN_DIR, ...); empty when unset.
std::string EnvironmentValue(const char* name);

// A Unix path as a program under Wine names it: /tmp/x becomes Z:\tmp\x.
std::string UnixToWindowsPath(const std::string& unixPath);

// Starts a command line: a Windows program, or under Wine a Unix one given by
// its absolute path (which cannot be waited for). With phProcess the caller
// gets the process handle and closes it; otherwise it is closed here.
bool LaunchCommand(const std::string& command, HANDLE* phProcess = nullptr, DWORD* pdwProcessId = nullptr);
// Threads of the calling process now.
int ProcessThreadCount();
