#include "tests/support/ProgramUnderTest.h"

#include "tests/support/Process.h"
#include "tests/support/Tray.h"

#include <commctrl.h>
#include <shlobj.h>

namespace {

const int IDC_SOURCE_LIST_ID = 1000;
const UINT IDI_TRAY_ID = 133;

struct FIND_WINDOW {
    DWORD dwProcessId;
    HWND hFound;
};

BOOL CALLBACK FindMainWindow(HWND hWnd, LPARAM lParam)
{
    auto* pFind = reinterpret_cast<FIND_WINDOW*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    // A modal dialog is shown only once its initialisation is done; in monitor mode it
    // stays hidden and its tray icon, added after the start of capture, tells the same.
    if (pid == pFind->dwProcessId && GetDlgItem(hWnd, IDC_SOURCE_LIST_ID) &&
        (IsWindowVisible(hWnd) || TrayIconShown(hWnd, IDI_TRAY_ID))) {
        pFind->hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::string ProgramDataFolder()
{
    char common[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, common, CSIDL_COMMON_APPDATA, TRUE);
    return std::string(common) + "\\Orvane\\Tillvox\\";
}

std::string ProgramSettingsPath()
{
    return ProgramDataFolder() + "FileMapPOS.ini";
}

std::string ProgramExePath()
{
    return UnixToWindowsPath(EnvironmentValue("TILLVOX_BIN_DIR") + "/Tillvox.exe");
}

std::string ProgramLanguageFilePath()
{
    const std::string exe = ProgramExePath();
    return exe.substr(0, exe.rfind('\\')) + "\\Tillvox.xml";
}

CProgramUnderTest::~CProgramUnderTest()
{
    if (m_hProcess) {
        if (IsRunning()) {
            if (m_hMain) PostMessageA(m_hMain, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(m_hProcess, 10000) != WAIT_OBJECT_0)
                TerminateProcess(m_hProcess, 1);
        }
        CloseHandle(m_hProcess);
    }
    // What one test left queued must not reach the recorder of the next.
    if (!m_bKeepQueues)
        ClearProgramQueues();
}

std::string ProgramQueueFolder()
{
    return ProgramDataFolder() + "Queues\\";
}

void ClearProgramQueues()
{
    const std::string folder = ProgramQueueFolder();
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA((folder + "*").c_str(), &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileA((folder + found.cFileName).c_str());
    } while (FindNextFileA(hFind, &found));
    FindClose(hFind);
}

bool CProgramUnderTest::Start(const std::string& arguments)
{
    return StartExe(ProgramExePath(), arguments);
}

bool CProgramUnderTest::StartExe(const std::string& exePath, const std::string& arguments)
{
    return LaunchCommand("\"" + exePath + "\" " + arguments, &m_hProcess, &m_dwProcessId);
}

HWND CProgramUnderTest::WaitForMainWindow(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        FIND_WINDOW find = {m_dwProcessId, nullptr};
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&find));
        if (find.hFound) {
            m_hMain = find.hFound;
            return m_hMain;
        }
        if (!IsRunning()) break;
        Sleep(50);
    }
    return nullptr;
}

bool CProgramUnderTest::WaitForExit(DWORD timeoutMs)
{
    return m_hProcess && WaitForSingleObject(m_hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool CProgramUnderTest::IsRunning() const
{
    return m_hProcess && WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT;
}

int CProgramUnderTest::ListRowCount()
{
    return static_cast<int>(SendMessageA(GetDlgItem(m_hMain, IDC_SOURCE_LIST_ID), LVM_GETITEMCOUNT, 0, 0));
}

std::string CProgramUnderTest::ListCell(int row, int column)
{
    // The item record and its text buffer must live in the program's own memory.
    HANDLE hTarget = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, m_dwProcessId);
    if (!hTarget) return "<cannot open process>";
    const SIZE_T textSize = 512;
    char* pRemote = static_cast<char*>(VirtualAllocEx(hTarget, nullptr, sizeof(LVITEMA) + textSize,
                                                      MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    std::string text = "<cannot read>";
    if (pRemote) {
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = pRemote + sizeof(LVITEMA);
        item.cchTextMax = static_cast<int>(textSize);
        WriteProcessMemory(hTarget, pRemote, &item, sizeof item, nullptr);
        SendMessageA(GetDlgItem(m_hMain, IDC_SOURCE_LIST_ID), LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(pRemote));
        char buffer[512] = {};
        if (ReadProcessMemory(hTarget, pRemote + sizeof(LVITEMA), buffer, sizeof buffer - 1, nullptr))
            text = buffer;
        VirtualFreeEx(hTarget, pRemote, 0, MEM_RELEASE);
    }
    CloseHandle(hTarget);
    return text;
}

std::string CProgramUnderTest::ControlText(int id)
{
    char text[512] = {};
    GetWindowTextA(GetDlgItem(m_hMain, id), text, sizeof text);
    return text;
}

bool CProgramUnderTest::WaitForCell(int row, int column, const std::string& text, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (ListCell(row, column) == text) return true;
        Sleep(50);
    }
    return false;
}
