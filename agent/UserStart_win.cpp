#include "agent/UserStart_win.h"

#include "agent/AgentRequests.h"
#include "base/WinHandle.h"

#include <userenv.h>
#include <wtsapi32.h>

#include <vector>

namespace {

int ElevationType(HANDLE hToken)
{
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (!GetTokenInformation(hToken, TokenElevationType, &type, sizeof type, &size))
        return 0;
    return static_cast<int>(type);
}

bool IsLocalSystem(HANDLE hToken)
{
    std::vector<BYTE> buffer(256);
    DWORD size = 0;
    if (!GetTokenInformation(hToken, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size))
        return true;  // unknown counts as the service's own
    return IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, WinLocalSystemSid) != FALSE;
}

}  // namespace

USER_START StartForConsoleUser(const std::string& exePath, const std::string& args, const std::string& folder)
{
    USER_START start;
    start.dwSession = WTSGetActiveConsoleSessionId();
    HANDLE h = nullptr;
    if (start.dwSession == 0xFFFFFFFF || !WTSQueryUserToken(start.dwSession, &h)) {
        start.dwError = GetLastError();
        start.result = USER_START_NO_USER;
        return start;
    }
    CHandle hUser(h);
    const int nType = ElevationType(hUser.Get());
    CHandle hLinked;
    if (nType == AGENT_ELEVATION_LIMITED) {
        TOKEN_LINKED_TOKEN linked{};
        DWORD size = 0;
        if (GetTokenInformation(hUser.Get(), TokenLinkedToken, &linked, sizeof linked, &size))
            hLinked.Reset(linked.LinkedToken);
    }
    const AGENT_TOKEN_CHOICE choice = ChooseAgentToken(true, nType, hLinked.IsValid());
    const HANDLE hChosen = choice == TOKEN_USER_LINKED ? hLinked.Get() : hUser.Get();
    start.strToken = choice == TOKEN_USER_LINKED ? "the user's full (linked) token" : "the user's own token";

    h = nullptr;
    if (!DuplicateTokenEx(hChosen, MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary, &h)) {
        start.dwError = GetLastError();
        return start;
    }
    CHandle hPrimary(h);
    if (IsLocalSystem(hPrimary.Get())) {
        start.result = USER_START_NO_USER;
        return start;
    }
    void* pEnvironment = nullptr;
    if (!CreateEnvironmentBlock(&pEnvironment, hPrimary.Get(), FALSE))
        pEnvironment = nullptr;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    char desktop[] = "winsta0\\default";
    si.lpDesktop = desktop;
    std::string commandLine = "\"" + exePath + "\" " + args;
    PROCESS_INFORMATION pi{};
    const BOOL bStarted = CreateProcessAsUserA(hPrimary.Get(), exePath.c_str(), &commandLine[0], nullptr, nullptr,
                                               FALSE, pEnvironment ? CREATE_UNICODE_ENVIRONMENT : 0, pEnvironment,
                                               folder.c_str(), &si, &pi);
    start.dwError = bStarted ? 0 : GetLastError();
    if (pEnvironment)
        DestroyEnvironmentBlock(pEnvironment);
    if (!bStarted)
        return start;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    start.dwProcessId = pi.dwProcessId;
    start.result = USER_START_DONE;
    return start;
}
