#include "app/CommandTail.h"

std::string CommandTail(const std::string& commandLine)
{
    const size_t end = commandLine.find("\" ");
    if (end == std::string::npos)
        return commandLine;
    return commandLine.substr(end + 2);
}

int WriteStartRequest(CProfileStore& requestFile, const std::string& path, const std::string& args)
{
    int nIndex = requestFile.GetInt("Startup", "Count", 0);
    if (nIndex < 0)
        nIndex = 0;
    const std::string section = "AP" + std::to_string(nIndex);
    if (!requestFile.WriteString(section, "ExePath", path))
        return -1;
    if (!args.empty() && !requestFile.WriteString(section, "CmdLine", args))
        return -1;
    if (!requestFile.WriteString("Startup", "Count", std::to_string(nIndex + 1)))
        return -1;
    return nIndex;
}
