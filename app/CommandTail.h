#pragma once
// The elevated relaunch in plain values: the arguments this instance got, and
// the entry it queues for the startup agent.
#include "base/ProfileStore.h"

#include <string>

// The arguments of a process command line: everything after the first double
// quote that is followed by a blank (the end of a quoted program path), else
// the whole line.
std::string CommandTail(const std::string& commandLine);

// Queues one start request in the agent's request file: [APn] ExePath, CmdLine
// (only when args is not empty), then [Startup] Count = n + 1, where n is the
// Count read before (a negative or missing Count counts as 0). Returns n, or
// -1 when a write failed: it stops there, so Count never counts an entry that
// was not written whole. The caller holds the agent's mutex.
int WriteStartRequest(CProfileStore& requestFile, const std::string& path, const std::string& args);
