#pragma once
// Installing, starting, stopping and removing the agent's service, for the
// setup program. Every wait is bounded.
#include <string>

// Creates the service (or brings an existing one up to date) for exePath:
// automatic start, LocalSystem, the display name and description given; then
// starts it and waits until it runs. False with a message when any step failed.
// The texts come in UTF-16, as the setup program has them in its language.
bool InstallAgentService(const std::string& exePath, const std::wstring& displayName, const std::wstring& description,
                         std::string& message);
// Starts the installed service and waits until it runs.
bool StartAgentService(std::string& message);
// Stops the service and waits until it has stopped; true when it is not installed.
bool StopAgentService(std::string& message);
// Stops and deletes the service and waits until it is gone.
bool UninstallAgentService(std::string& message);
