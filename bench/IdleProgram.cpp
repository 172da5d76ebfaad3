// A Windows program that only sleeps for the given seconds: beside it, the
// idle benchmark measures what the Wine server costs when no program works.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 60) * 1000u);
    return 0;
}
