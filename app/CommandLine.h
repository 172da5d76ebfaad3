#pragma once
#include <string>
#include <vector>

// Monitor mode from the program's arguments: each argument (a leading "/" or
// "-" taken off) sets the flag when it contains "Monitor" and clears it
// otherwise, so the last argument decides.
bool ParseMonitorFlag(const std::vector<std::string>& arguments);
// Started by the startup agent: "/Service" anywhere in the argument text.
bool IsStartedAsService(const std::string& commandTail);
