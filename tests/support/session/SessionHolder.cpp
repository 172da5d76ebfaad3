// Holds the Wine session of a test run up until its standard input says "end"
// or ends: the prefix's server, its services and the desktop process stay up
// from the start of the run, started by the test command with no test's
// output, so no test starts one that outlives it and holds its output open.
// It shows no window; a message-only window attaches it to the desktop. It
// writes "ready" once the desktop is there.
#include <windows.h>

#include <cstdio>
#include <string>

int main()
{
    GetDesktopWindow();
    HWND hWnd = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
    std::printf("%s\n", hWnd ? "ready" : "no window");
    std::fflush(stdout);
    char buffer[256];
    DWORD read = 0;
    // "end" ends it too: a test's program may have inherited the writing end.
    std::string input;
    while (input.find("end") == std::string::npos &&
           ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) && read > 0)
        input.append(buffer, read);
    if (hWnd)
        DestroyWindow(hWnd);
    return 0;
}
