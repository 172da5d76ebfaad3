#pragma once
// The program's icon in the notification area: its record, the calls that add,
// change and remove it, and its menu.
#include <windows.h>
#include <shellapi.h>

#include <string>

constexpr UINT WM_TRAY_NOTIFY = WM_USER + 100;

// Where the notification-area calls go: the shell, or a recorder in the tests.
class CShellNotify {
public:
    virtual ~CShellNotify() = default;
    virtual BOOL NotifyIcon(DWORD dwMessage, NOTIFYICONDATAW* pData) { return Shell_NotifyIconW(dwMessage, pData); }
};

class CTrayIcon {
public:
    CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    void SetShell(CShellNotify* pShell) { m_pShell = pShell ? pShell : &m_DefaultShell; }
    // Fills the record: the window that gets WM_TRAY_NOTIFY, icon resource 133 and the tip (UTF-8).
    void Init(HWND hWnd, const std::string& tip);

    // Adds the icon; the shell refuses a second add while it shows the icon.
    void Add();
    // Adds it again when it should be shown, after the shell's taskbar was re-created.
    void Readd();
    void Remove();
    // Stores the tip (UTF-8, cut to what the record holds) and shows it when the icon is there.
    void SetTip(const std::string& tip);
    bool IsAdded() const { return m_bAdded; }
    const NOTIFYICONDATAW& Record() const { return m_Data; }

    // The icon's menu, "Open" and "Exit", at the cursor; the chosen command is
    // posted to the record's window as WM_COMMAND.
    void ShowMenu(const std::wstring& openText, const std::wstring& exitText);

private:
    CShellNotify m_DefaultShell;
    CShellNotify* m_pShell;
    // Unicode, so that a tip in a language the ANSI code page cannot spell keeps its letters.
    NOTIFYICONDATAW m_Data;
    // True from the first add until the removal: the icon should be shown.
    bool m_bAdded = false;
};
