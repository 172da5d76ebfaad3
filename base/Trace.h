#pragma once

// Diagnostic line for the system debugger output (nothing else sees it).
void Trace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
