#pragma once
// Where the parts of the program report what an installer may want to read
// later (the log file) or see at once (the event log). The application
// implements it; the parts below only name the source by its position.
#include "base/LogLine.h"

#include <string>

// Kinds of warnings and errors that also go to the event log, rate-limited
// per source and kind. Information carries no kind.
constexpr char DIAG_KIND_OUTPUT_FAILED[] = "output failed";
constexpr char DIAG_KIND_QUEUE_FULL[] = "queue full";
constexpr char DIAG_KIND_WRONG_PASSWORD[] = "wrong password";
constexpr char DIAG_KIND_REFUSED_TILL[] = "refused till";
constexpr char DIAG_KIND_JUNK[] = "junk on the recorder port";
constexpr char DIAG_KIND_QUEUE_FILE[] = "queue file";
constexpr char DIAG_KIND_INPUT_FAILED[] = "input failed";

// The source number of a line about the program as a whole.
constexpr int DIAG_PROGRAM = -1;

class CDiagnostics {
public:
    // Any thread, any lock held: it only queues the line and never waits
    // for a disk, the event log or a person. pszKind is null for information.
    virtual void Note(LOG_LEVEL level, int nSource, const char* pszKind, const std::string& strText) = 0;

protected:
    ~CDiagnostics() = default;
};
