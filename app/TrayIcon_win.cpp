#include "app/TrayIcon.h"

#include "app/TrayTip.h"
#include "res/resource.h"
#include "ui/DialogData.h"

#include <cstring>

namespace {
// Earlier shells know only this first form of the record (152 bytes in the 32-bit program).
const DWORD TRAY_RECORD_SIZE = NOTIFYICONDATAW_V1_SIZE;

std::wstring CutTip(const std::string& tip)
{
    std::wstring wide = WideFromUtf8(CutText(tip, TRAY_TIP_MAX));
    if (wide.size() > TRAY_TIP_MAX) {
        wide.resize(TRAY_TIP_MAX);
        // Never half a surrogate pair at the end.
        if (wide.back() >= 0xD800 && wide.back() <= 0xDBFF)
            wide.pop_back();
    }
    return wide;
}
}  // namespace

CTrayIcon::CTrayIcon() : m_pShell(&m_DefaultShell), m_Data()
{
    m_Data.cbSize = TRAY_RECORD_SIZE;
}

void CTrayIcon::Init(HWND hWnd, const std::string& tip)
{
    m_Data.hWnd = hWnd;
    m_Data.uID = IDI_TRAY;
    m_Data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_Data.uCallbackMessage = WM_TRAY_NOTIFY;
    // The small size of the icon, as the notification area draws it.
    m_Data.hIcon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TRAY), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                 LR_SHARED));
    SetTip(tip);
}

void CTrayIcon::Add()
{
    m_bAdded = true;
    m_pShell->NotifyIcon(NIM_ADD, &m_Data);
}

void CTrayIcon::Readd()
{
    if (m_bAdded)
        m_pShell->NotifyIcon(NIM_ADD, &m_Data);
}

void CTrayIcon::Remove()
{
    if (!m_bAdded)
        return;
    m_bAdded = false;
    m_pShell->NotifyIcon(NIM_DELETE, &m_Data);
}

void CTrayIcon::SetTip(const std::string& tip)
{
    const std::wstring cut = CutTip(tip);
    if (cut == m_Data.szTip)
        return;
    std::memset(m_Data.szTip, 0, sizeof m_Data.szTip);
    std::memcpy(m_Data.szTip, cut.c_str(), cut.size() * sizeof(wchar_t));
    if (m_bAdded)
        m_pShell->NotifyIcon(NIM_MODIFY, &m_Data);
}

void CTrayIcon::ShowMenu(const std::wstring& openText, const std::wstring& exitText)
{
    HMENU hMenu = CreatePopupMenu();
    if (!hMenu)
        return;
    // Without a language file the items still need a word to be found by.
    AppendMenuW(hMenu, MF_STRING, IDM_TRAY_OPEN, openText.empty() ? L"Open" : openText.c_str());
    AppendMenuA(hMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(hMenu, MF_STRING, IDM_TRAY_EXIT, exitText.empty() ? L"Exit" : exitText.c_str());
    SetMenuDefaultItem(hMenu, IDM_TRAY_OPEN, FALSE);
    POINT cursor = {};
    GetCursorPos(&cursor);
    // The menu closes when the user clicks elsewhere only if its window is in front.
    SetForegroundWindow(m_Data.hWnd);
    TrackPopupMenu(hMenu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, m_Data.hWnd, nullptr);
    PostMessageA(m_Data.hWnd, WM_NULL, 0, 0);
    DestroyMenu(hMenu);
}
