#pragma once
// What the program entered in the Windows Application event log under the
// source "Tillvox", read from outside. On Windows through the event log API.
// Wine keeps no event log (the API answers as an empty log); there the
// entries are read from Wine's debug output of the programs started after
// Begin(), which the test command sends to the file TILLVOX_STDERR_FILE names.
#include <windows.h>

#include <string>
#include <vector>

struct PROGRAM_EVENT {
    bool bError = false;  // an error entry; otherwise a warning
    std::string strText;  // UTF-8
};

class CProgramEventLog {
public:
    // Call before the program starts: from then on its entries are read, and
    // under Wine the programs started get the debug channel that prints them.
    void Begin();
    // The entries since Begin(); false with the reason in strWhyNot when they
    // cannot be read here.
    bool Read(std::vector<PROGRAM_EVENT>& entries, std::string& strWhyNot) const;

private:
    bool ReadFromApi(std::vector<PROGRAM_EVENT>& entries, bool& bEmptyLog) const;
    bool ReadFromWineOutput(std::vector<PROGRAM_EVENT>& entries, std::string& strWhyNot) const;

    DWORD m_dwStartTime = 0;  // seconds since 1970, as EVENTLOGRECORD::TimeWritten
    long long m_nFileOffset = 0;
    std::string m_strFile;
};
