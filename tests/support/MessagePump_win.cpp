#include "tests/support/MessagePump.h"

void PumpWaiting(MESSAGE_CALLS calls)
{
    MSG msg;
    if (calls == WIDE_CALLS) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return;
    }
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void Pump(DWORD ms, MESSAGE_CALLS calls)
{
    const DWORD start = GetTickCount();
    do {
        PumpWaiting(calls);
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD ms, MESSAGE_CALLS calls)
{
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < ms) {
        PumpWaiting(calls);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return done();
}
