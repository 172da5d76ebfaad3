// runlimited.exe PROGRAM [ARGUMENTS...]: starts PROGRAM as an administrator's
// program starts under user account control when nobody confirms a prompt, with
// the filtered (limited) half of this process's token, and waits up to 60 s for
// it to end. Prints "process <id>". Exit code: the program's, 124 when it still
// runs, 125 when there is no limited token, 126 when it could not be started.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2) {
        fputs("usage: runlimited PROGRAM [ARGUMENTS...]\n", stderr);
        return 2;
    }
    HANDLE hOwn = nullptr;
    TOKEN_LINKED_TOKEN linked{};
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hOwn) ||
        !GetTokenInformation(hOwn, TokenLinkedToken, &linked, sizeof linked, &size) ||
        !GetTokenInformation(linked.LinkedToken, TokenElevationType, &type, sizeof type, &size) ||
        type != TokenElevationTypeLimited) {
        fprintf(stderr, "runlimited: no limited token (error %lu)\n", GetLastError());
        return 125;
    }
    HANDLE hPrimary = nullptr;
    if (!DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary,
                          &hPrimary)) {
        fprintf(stderr, "runlimited: DuplicateTokenEx failed, error %lu\n", GetLastError());
        return 125;
    }
    std::string commandLine = std::string("\"") + argv[1] + "\"";
    for (int i = 2; i < argc; ++i)
        commandLine += std::string(" ") + argv[i];
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessAsUserA(hPrimary, argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                              &pi)) {
        fprintf(stderr, "runlimited: cannot start %s, error %lu\n", argv[1], GetLastError());
        return 126;
    }
    printf("process %lu\n", pi.dwProcessId);
    fflush(stdout);
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0)
        return 124;
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return static_cast<int>(code);
}
