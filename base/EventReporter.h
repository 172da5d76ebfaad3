#pragma once
#include "base/LogLine.h"

#include <string>

// Where warnings and errors go beside the log file: the Windows event log
// (CEventLog), or whatever a test puts in its place. Called on one thread.
class CEventReporter {
public:
    virtual ~CEventReporter() = default;
    // strKind names the event for the rate limit; returns true when an entry was written.
    virtual bool Report(LOG_LEVEL level, const std::string& strSource, const std::string& strKind,
        const std::string& strText) = 0;
    // Enters the counts of floods that stopped (bAtEnd: every count still held
    // back, as the program ends); returns how many entries were written.
    virtual int ReportDue(bool bAtEnd) = 0;
};
