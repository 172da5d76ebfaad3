#include "app/CommandLine.h"

bool ParseMonitorFlag(const std::vector<std::string>& arguments)
{
    bool bMonitor = false;
    for (std::string argument : arguments) {
        if (!argument.empty() && (argument[0] == '/' || argument[0] == '-'))
            argument.erase(0, 1);
        bMonitor = argument.find("Monitor") != std::string::npos;
    }
    return bMonitor;
}

bool IsStartedAsService(const std::string& commandTail)
{
    return commandTail.find("/Service") != std::string::npos;
}
