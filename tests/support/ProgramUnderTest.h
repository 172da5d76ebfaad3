#pragma once
// Tillvox.exe started as a user starts it, and read from outside its process.
#include <windows.h>

#include <string>

// The program's data folder in the prefix and its settings file.
std::string ProgramDataFolder();
std::string ProgramSettingsPath();
// The folder of the program's queue files, and emptying it.
std::string ProgramQueueFolder();
void ClearProgramQueues();
// Tillvox.exe of this build, as the program sees the path, and the language file beside it.
std::string ProgramExePath();
std::string ProgramLanguageFilePath();

class CProgramUnderTest {
public:
    CProgramUnderTest() = default;
    ~CProgramUnderTest();  // ends the program if it still runs and empties its queue folder
    // Leaves the queue files for a program started after this one.
    void KeepQueues() { m_bKeepQueues = true; }
    CProgramUnderTest(const CProgramUnderTest&) = delete;
    CProgramUnderTest& operator=(const CProgramUnderTest&) = delete;

    bool Start(const std::string& arguments);
    // Starts another copy of the program (a folder of the test's own, with or without files beside it).
    bool StartExe(const std::string& exePath, const std::string& arguments);
    // The main window once it exists; null when none appeared within the time.
    HWND WaitForMainWindow(DWORD timeoutMs = 15000);
    // True when the process ended within the time.
    bool WaitForExit(DWORD timeoutMs);
    bool IsRunning() const;
    HANDLE Process() const { return m_hProcess; }
    DWORD ProcessId() const { return m_dwProcessId; }

    // Text of a list cell of the main window, read across the process boundary.
    std::string ListCell(int row, int column);
    int ListRowCount();
    std::string ControlText(int id);
    // Waits until the cell shows the text.
    bool WaitForCell(int row, int column, const std::string& text, DWORD timeoutMs = 15000);

private:
    HANDLE m_hProcess = nullptr;
    DWORD m_dwProcessId = 0;
    HWND m_hMain = nullptr;
    bool m_bKeepQueues = false;
};
