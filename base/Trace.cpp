#include "base/Trace.h"

#include <cstdarg>
#include <cstdio>

#ifdef _WIN32
extern "C" __declspec(dllimport) void __stdcall OutputDebugStringA(const char*);
#endif

void Trace(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
#ifdef _WIN32
    OutputDebugStringA(line);
#else
    (void)line;
#endif
}
