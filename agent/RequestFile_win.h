#pragma once
// The request file as the agent takes it: read and emptied in one go, by a
// caller that holds the agent's mutex. The folder is writable by every user,
// so the file is only written when it is a plain file with one name; a link
// put there in its place is removed, never written through.
#include <string>

struct TAKEN_REQUEST_FILE {
    bool bPresent = false;
    std::string bytes;             // at most AGENT_REQUEST_FILE_MAX_BYTES + 1 of them
    unsigned long long nSize = 0;  // the whole file's size
    std::string problem;           // why it was not read or not emptied
};

TAKEN_REQUEST_FILE TakeRequestFile(const std::string& path);
