#pragma once
// Installing, starting, stopping and removing the agent's service, for the
// setup program. Every wait is bounded.
#include <string>

// Creates the service (or brings an existing one up to date) for exePath:
// automatic start, LocalSystem, the display name and description given; then
// starts it and waits until it runs. False with a message when any step failed.
bool InstallAgentService(const std::string& exePath, const std::string& displayName, const std::string& description,
                         std::string& message);
// Starts the installed service and waits until it runs.
bool StartAgentService(std::string& message);
// Stops the service and waits until it has stopped; true when it is not installed.
bool StopAgentService(std::string& message);
// Stops and deletes the service and waits until it is gone.
bool UninstallAgentService(std::string& message);
