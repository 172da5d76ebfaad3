// TillvoxAgent.exe: run by the service control manager it is the startup agent;
// the setup program runs it with a command to install, start, stop or remove
// the service.
#include "agent/AgentService_win.h"
#include "agent/ServiceSetup_win.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char USAGE[] =
    "usage: TillvoxAgent.exe /Install [DISPLAY-NAME [DESCRIPTION]] | /Start | /Stop | /Uninstall\n"
    "Without a command it must be started by the service control manager.\n"
    "Exit codes: 0 done, 1 failed, 2 wrong usage.\n";

std::string OwnPath()
{
    char path[MAX_PATH] = "";
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n < MAX_PATH ? n : 0);
}

int Finish(bool bOk, const std::string& message)
{
    if (!bOk)
        fprintf(stderr, "TillvoxAgent: %s\n", message.c_str());
    return bOk ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 1) {
        if (RunAgentService())
            return 0;
        fprintf(stderr, "TillvoxAgent: not started as a service (error %lu)\n%s", GetLastError(), USAGE);
        return 2;
    }
    const std::string command = argv[1];
    std::string message;
    if (_stricmp(command.c_str(), "/Install") == 0 && argc <= 4) {
        // The texts in UTF-16: the setup program passes them in its language.
        int nWide = 0;
        LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &nWide);
        const std::wstring displayName = wide && nWide > 2 ? wide[2] : AGENT_SERVICE_DISPLAY_NAME;
        const std::wstring description = wide && nWide > 3 ? wide[3] : AGENT_SERVICE_DESCRIPTION;
        LocalFree(wide);
        return Finish(InstallAgentService(OwnPath(), displayName, description, message), message);
    }
    if (argc == 2 && _stricmp(command.c_str(), "/Start") == 0)
        return Finish(StartAgentService(message), message);
    if (argc == 2 && _stricmp(command.c_str(), "/Stop") == 0)
        return Finish(StopAgentService(message), message);
    if (argc == 2 && _stricmp(command.c_str(), "/Uninstall") == 0)
        return Finish(UninstallAgentService(message), message);
    fputs(USAGE, stderr);
    return 2;
}
