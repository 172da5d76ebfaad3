#pragma once
#include "base/Diagnostics.h"

#include <string>

// The statuses an output reports for its source's row; the window turns them into language texts.
enum class OUTPUT_STATUS {
    ComReady,          // the COM port is open and set up
    ComFailed,         // the COM port could not be opened
    ComSettingFailed,  // the COM port is open, but its line settings were refused
    WaitingForRecorder,
    RecorderConnected,
    ListenFailed,      // no listening socket on the source's TCP port
};

// What the outputs report upwards. Called on worker threads and on the start/stop thread.
class COutputEvents : public CDiagnostics {
public:
    virtual void OnOutputStatus(int nSource, OUTPUT_STATUS eStatus) = 0;
    // A recorder offered a wrong password; must not wait for a person.
    virtual void OnWrongPassword(int nSource) = 0;

protected:
    ~COutputEvents() = default;
};

// Lets tests watch the serial output at the points where its timing matters.
class COutputProbe {
public:
    virtual ~COutputProbe() = default;
    virtual void OnComWrite(int /*nSource*/, int /*nCount*/, bool /*bFromWriterThread*/) {}
    virtual void OnComDataSignalled(int /*nSource*/) {}
    // Called by a serial writer when it wakes for data, before it takes the queue's lock.
    virtual void OnWriterWake(int /*nSource*/) {}
    // Called by stop when it is about to wait for the serial writer to end.
    virtual void OnWriterAwaited(int /*nSource*/) {}
};
