// The main window's tray icon, its hiding and showing, and the auto-run box.
#include "app/KassimoDlg.h"

#include "app/TrayTip.h"
#include "res/resource.h"
#include "ui/DialogData.h"

#include <commctrl.h>

#include <iterator>
#include <vector>

namespace {

// In UTF-8, as the engine's texts it is compared with.
std::string StatusText(HWND hList, int nRow)
{
    wchar_t text[512] = {};
    LVITEMW item = {};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = static_cast<int>(std::size(text));
    SendMessageW(hList, LVM_GETITEMTEXTW, static_cast<WPARAM>(nRow), reinterpret_cast<LPARAM>(&item));
    return Utf8FromWide(text);
}

}  // namespace

void CKassimoDlg::InitTray()
{
    OnMessage(WM_SIZE, [this](WPARAM wParam, LPARAM lParam) {
        if (wParam == SIZE_MINIMIZED)
            GoToTray();
        else
            LayOut(LOWORD(lParam), HIWORD(lParam));
        return INT_PTR(FALSE);
    });
    OnMessage(WM_TRAY_NOTIFY, [this](WPARAM, LPARAM lParam) { return OnTrayNotify(lParam); });
    OnMessage(WM_WINDOWPOSCHANGING, [this](WPARAM, LPARAM lParam) {
        if (m_bKeepHidden)
            reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
        return INT_PTR(FALSE);
    });
    // A restarted shell forgets every icon and says so to all top-level windows.
    const UINT nTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    if (nTaskbarCreated)
        OnMessage(nTaskbarCreated, [this](WPARAM, LPARAM) {
            m_TrayIcon.Readd();
            return INT_PTR(FALSE);
        });
    OnCommand(IDM_TRAY_OPEN, [this](WORD) { RestoreFromTray(); });
    // Ends the program as the close box does: the window's destruction stops capture.
    OnCommand(IDM_TRAY_EXIT, [this](WORD) { EndDialog(IDCANCEL); });
}

void CKassimoDlg::GoToTray()
{
    m_bKeepHidden = true;
    ShowWindow(Hwnd(), SW_HIDE);
    UpdateTrayTip();
    m_TrayIcon.Add();
}

void CKassimoDlg::RestoreFromTray()
{
    m_bKeepHidden = false;
    ShowWindow(Hwnd(), SW_RESTORE);
    SetForegroundWindow(Hwnd());
}

INT_PTR CKassimoDlg::OnTrayNotify(LPARAM lParam)
{
    if (lParam == WM_LBUTTONDOWN)
        RestoreFromTray();
    else if (lParam == WM_RBUTTONDOWN)
        m_TrayIcon.ShowMenu(GetText("IDS_TRAY_OPEN"), GetText("IDS_TRAY_EXIT"));
    SetWindowLongPtrA(Hwnd(), DWLP_MSGRESULT, 0);
    return TRUE;
}

void CKassimoDlg::UpdateTrayTip()
{
    if (!Hwnd())
        return;
    std::vector<std::string> statuses;
    for (int nRow = 0; nRow < m_Engine.SourceCount(); ++nRow)
        statuses.push_back(StatusText(m_hList, nRow));
    TRAY_TIP_INPUT input;
    input.strName = GetString("IDS_PTS_DLG_NAME");
    input.strRunningFormat = GetString("IDS_TRAY_TIP_RUNNING");
    input.bRunning = m_Engine.m_bRunning != 0;
    input.nSources = m_Engine.SourceCount();
    // A serial output counts once its port is open, a TCP output once the recorder logged in.
    input.nConnected = CountConnected(statuses, {m_Engine.m_strConnected, GetString("IDS_PTS_COM_SETTING_DONE")});
    m_TrayIcon.SetTip(MakeTrayTip(input));
}

void CKassimoDlg::OnAutoRun()
{
    const bool bOn = IsDlgButtonChecked(Hwnd(), IDC_AUTORUN) == BST_CHECKED;
    if (m_AutoRun.Apply(bOn, SettingsPath()))
        return;
    // Nothing was written: the box must not claim a start with Windows that will not happen.
    CheckDlgButton(Hwnd(), IDC_AUTORUN, bOn ? BST_UNCHECKED : BST_CHECKED);
    CautionBox(GetString("IDS_AUTORUN_NOT_CHANGED"), MB_OK | MB_ICONEXCLAMATION);
}
