#pragma once
// The startup agent as a service of the service control manager: it waits on
// the program's global event, takes the queued requests from the request file
// under the global mutex, and starts the allowed ones on the console user's
// desktop. Requests that find nobody logged on wait for the next logon.
#include <string>

constexpr wchar_t AGENT_SERVICE_DISPLAY_NAME[] = L"Tillvox Startup Agent";
constexpr wchar_t AGENT_SERVICE_DESCRIPTION[] =
    L"Starts Tillvox with full rights at logon, so that receipt capture begins without a consent prompt.";

// Hands the calling thread to the service control manager; returns when the
// service has stopped. False (with the system's error) when the process was not
// started by the service control manager.
bool RunAgentService();
