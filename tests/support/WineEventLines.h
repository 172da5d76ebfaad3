#pragma once
// Wine keeps no event log: its ReportEventW prints each entry's strings on the
// debug channel "eventlog" instead (an error as "err:eventlog:", a warning as
// "warn:eventlog:", with WINEDEBUG=warn+eventlog,err+eventlog), quoted as
// debugstr_w quotes a wide string. These read such output back.
#include <string>
#include <vector>

// A string as debugstr_w prints it: L"..." with \\, \", \n, \r, \t and \XXXX
// (four hex digits) for every other character below 0x20 or from 0x7f, each
// UTF-16 unit on its own; longer strings are cut and end in "...". text gets
// the string in UTF-8. False when printed is not of that form.
bool DecodeWineDebugString(const std::string& printed, std::string& text, bool& bTruncated);

struct WINE_EVENT_ENTRY {
    bool bError = false;  // an error entry; otherwise a warning
    std::string strText;  // UTF-8
    bool bTruncated = false;
};

// The error and warning entries in Wine's debug output, in their order.
// Lines of other channels, and broken lines, are passed over.
std::vector<WINE_EVENT_ENTRY> WineEventEntries(const std::string& debugOutput);
