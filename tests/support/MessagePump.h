#pragma once
// Handling this thread's messages while a test waits, always within a bound.
// A window made with the W functions must be pumped with the W calls for the
// characters it receives to stay Unicode; the A calls suit the others.
#include <windows.h>

#include <functional>

enum MESSAGE_CALLS { ANSI_CALLS, WIDE_CALLS };

// Handles what waits in this thread's queue now, without waiting for more.
void PumpWaiting(MESSAGE_CALLS calls = ANSI_CALLS);
// Handles this thread's messages for ms milliseconds (at least one round).
void Pump(DWORD ms, MESSAGE_CALLS calls = ANSI_CALLS);
// Handles messages until done() holds or ms milliseconds passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD ms = 10000, MESSAGE_CALLS calls = ANSI_CALLS);
