#include "tests/support/DialogDriver.h"

#include "res/resource.h"
#include "tests/support/TopWindows.h"
#include "tests/support/WideText.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

CDialogDriver* g_pDriver = nullptr;
const UINT TICK_MS = 25;

struct FIND_TOP {
    const std::set<HWND>* pBefore;
    HWND hFound;
    DWORD dwProcessId;
};

BOOL CALLBACK FindTop(HWND hWnd, LPARAM lParam)
{
    auto* pFind = reinterpret_cast<FIND_TOP*>(lParam);
    DWORD dwProcessId = 0;
    if (pFind->dwProcessId && (GetWindowThreadProcessId(hWnd, &dwProcessId), dwProcessId != pFind->dwProcessId))
        return TRUE;
    if (!IsWindowVisible(hWnd) || !IsWindowEnabled(hWnd) || !IsDialogWindow(hWnd) || pFind->pBefore->count(hWnd))
        return TRUE;
    pFind->hFound = hWnd;
    return FALSE;
}

BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM lParam)
{
    reinterpret_cast<std::set<HWND>*>(lParam)->insert(hWnd);
    return TRUE;
}

struct COLLECT_OF_PROCESS {
    std::set<HWND>* pWindows;
    DWORD dwProcessId;
};

BOOL CALLBACK CollectWindowOfProcess(HWND hWnd, LPARAM lParam)
{
    auto* pCollect = reinterpret_cast<COLLECT_OF_PROCESS*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == pCollect->dwProcessId)
        pCollect->pWindows->insert(hWnd);
    return TRUE;
}

}  // namespace

std::string WindowTextOf(HWND hWnd)
{
    // WM_GETTEXT, not GetWindowText: the window may belong to another process.
    char text[1024] = {};
    if (hWnd)
        SendMessageA(hWnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string ControlText(HWND hDialog, int nId)
{
    return WindowTextOf(GetDlgItem(hDialog, nId));
}

int SelectedItem(HWND hDialog, int nId)
{
    return static_cast<int>(SendDlgItemMessageA(hDialog, nId, CB_GETCURSEL, 0, 0));
}

int ItemCount(HWND hDialog, int nId)
{
    return static_cast<int>(SendDlgItemMessageA(hDialog, nId, CB_GETCOUNT, 0, 0));
}

std::string ListItemText(HWND hDialog, int nId, int nItem)
{
    char text[512] = {};
    if (SendDlgItemMessageA(hDialog, nId, CB_GETLBTEXTLEN, static_cast<WPARAM>(nItem), 0) >= static_cast<LRESULT>(sizeof text))
        return std::string();
    SendDlgItemMessageA(hDialog, nId, CB_GETLBTEXT, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(text));
    return text;
}

std::string SelectedText(HWND hDialog, int nId)
{
    const int item = SelectedItem(hDialog, nId);
    return item < 0 ? std::string() : ListItemText(hDialog, nId, item);
}

std::string ListCell(HWND hList, int nRow, int nColumn)
{
    char text[512] = {};
    LVITEMA item = {};
    item.iSubItem = nColumn;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(hList, LVM_GETITEMTEXTA, static_cast<WPARAM>(nRow), reinterpret_cast<LPARAM>(&item));
    return text;
}

void PostClick(HWND hDialog, int nId)
{
    PostMessageA(hDialog, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDialog, nId)));
}

void SelectListItem(HWND hDialog, int nId, int nItem)
{
    SendDlgItemMessageA(hDialog, nId, CB_SETCURSEL, static_cast<WPARAM>(nItem), 0);
    // CB_SETCURSEL does not notify; a user's choice does.
    SendMessageA(hDialog, WM_COMMAND, MAKEWPARAM(nId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(hDialog, nId)));
}

void SetBoxText(HWND hDialog, int nId, const std::string& text)
{
    SetDlgItemTextA(hDialog, nId, text.c_str());
}

bool MessageBoxText(HWND hWnd, std::string& text)
{
    // The system's message box: a static text (0xFFFF on Windows, 100 under Wine) and the icon 1088 or 20.
    for (int id : {0xFFFF, 100}) {
        HWND hText = GetDlgItem(hWnd, id);
        char name[16] = {};
        if (hText && GetClassNameA(hText, name, sizeof name) && std::string(name) == "Static") {
            text = WindowTextOf(hText);
            return true;
        }
    }
    return false;
}

int DefaultButton(HWND hDialog)
{
    for (HWND hChild = GetWindow(hDialog, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        char name[16] = {};
        GetClassNameA(hChild, name, sizeof name);
        if (lstrcmpiA(name, "Button") == 0 && (GetWindowLongA(hChild, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON)
            return GetDlgCtrlID(hChild);
    }
    return 0;
}

CDialogDriver& CDialogDriver::Then(const std::string& name, STEP step)
{
    m_Steps.push_back(NAMED_STEP{name, std::move(step)});
    return *this;
}

CDialogDriver& CDialogDriver::Click(int nId)
{
    return Then("click " + std::to_string(nId), [nId](HWND h) {
        if (!GetDlgItem(h, nId))
            return false;
        PostClick(h, nId);
        return true;
    });
}

CDialogDriver& CDialogDriver::ClickIn(const std::string& caption, int nId)
{
    return Then("click " + std::to_string(nId) + " in " + caption, [caption, nId](HWND h) {
        if (WindowTextOf(h) != caption || !GetDlgItem(h, nId))
            return false;
        PostClick(h, nId);
        return true;
    });
}

CDialogDriver& CDialogDriver::Select(int nId, int nItem)
{
    return Then("select " + std::to_string(nItem) + " in " + std::to_string(nId), [nId, nItem](HWND h) {
        if (!GetDlgItem(h, nId))
            return false;
        SelectListItem(h, nId, nItem);
        return true;
    });
}

CDialogDriver& CDialogDriver::Type(int nId, const std::string& text)
{
    return Then("type '" + text + "' in " + std::to_string(nId), [nId, text](HWND h) {
        if (!GetDlgItem(h, nId))
            return false;
        SetBoxText(h, nId, text);
        return true;
    });
}

CDialogDriver& CDialogDriver::AcceptMessage()
{
    return Then("accept a message", [this](HWND h) {
        std::string text;
        if (!MessageBoxText(h, text))
            return false;
        m_Messages.push_back(text);
        PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return true;
    });
}

CDialogDriver& CDialogDriver::Do(const std::string& name, std::function<void(HWND)> action)
{
    return Then(name, [action](HWND h) {
        action(h);
        return true;
    });
}

void CDialogDriver::Run(const std::function<void()>& action)
{
    m_Before.clear();
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&m_Before));
    g_pDriver = this;
    m_nStepStart = m_nRunStart = GetTickCount();
    m_bAborting = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, TICK_MS, Tick);
    action();
    KillTimer(nullptr, timer);
    g_pDriver = nullptr;
    // A message from this run's last tick must not reach the next run.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    if (m_nNext < m_Steps.size() && !m_bAborting)
        m_Failures.push_back("the windows closed before step '" + m_Steps[m_nNext].name + "'");
}

VOID CALLBACK CDialogDriver::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_pDriver)
        g_pDriver->OnTick();
}

HWND CDialogDriver::TopDialog() const
{
    FIND_TOP find{&m_Before, nullptr, m_dwProcessId};
    if (m_dwProcessId)
        EnumWindows(FindTop, reinterpret_cast<LPARAM>(&find));
    else
        EnumThreadWindows(GetCurrentThreadId(), FindTop, reinterpret_cast<LPARAM>(&find));
    return find.hFound;
}

void CDialogDriver::Drive(DWORD dwProcessId, DWORD nTimeoutMs)
{
    m_dwProcessId = dwProcessId;
    m_Before.clear();
    COLLECT_OF_PROCESS collect{&m_Before, dwProcessId};
    EnumWindows(CollectWindowOfProcess, reinterpret_cast<LPARAM>(&collect));
    const DWORD start = GetTickCount();
    m_nStepStart = m_nRunStart = start;
    m_bAborting = false;
    while (m_nNext < m_Steps.size() && !m_bAborting && GetTickCount() - start < nTimeoutMs) {
        OnTick();
        Sleep(TICK_MS);
    }
    if (m_nNext < m_Steps.size() && !m_bAborting)
        m_Failures.push_back("time is up before step '" + m_Steps[m_nNext].name + "'");
    // After a failure, close what is still open so the program can be ended normally.
    for (int i = 0; i < 100 && TopDialog(); ++i) {
        PostMessageA(TopDialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        Sleep(50);
    }
}

void CDialogDriver::OnTick()
{
    if (m_bInStep)
        return;
    HWND hTop = TopDialog();
    if (m_bAborting) {
        if (hTop)
            PostMessageA(hTop, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return;
    }
    if (m_nNext >= m_Steps.size() || !hTop) {
        if (GetTickCount() - m_nStepStart > m_nStepTimeoutMs && hTop) {
            m_Failures.push_back("a window is still open after the last step: '" + WindowTextOf(hTop) + "'");
            m_bAborting = true;
        }
        return;
    }
    m_bInStep = true;
    const bool bDone = m_Steps[m_nNext].step(hTop);
    m_bInStep = false;
    if (bDone) {
        if (getenv("TILLVOX_DRIVER_TRACE"))
            fprintf(stderr, "%lu step %s\n", GetTickCount() - m_nRunStart, m_Steps[m_nNext].name.c_str());
        ++m_nNext;
        m_nStepStart = GetTickCount();
    } else if (GetTickCount() - m_nStepStart > m_nStepTimeoutMs) {
        std::string text;
        const std::string top = MessageBoxText(hTop, text) ? "message box '" + text + "'" : "'" + WindowTextOf(hTop) + "'";
        m_Failures.push_back("step '" + m_Steps[m_nNext].name + "' did not happen; on top: " + top);
        m_bAborting = true;
    }
}

namespace {

std::string DetailsCell(HWND hMain, int nRow, int nColumn)
{
    return Utf8(ListCellW(GetDlgItem(DetailsPane(hMain), IDC_DETAILS_LIST), nRow, nColumn));
}

}  // namespace

HWND DetailsPane(HWND hMain) { return GetDlgItem(hMain, IDC_DETAILS_PANE); }

std::string DetailsLabel(HWND hMain, int nRow) { return DetailsCell(hMain, nRow, 0); }

std::string DetailsValue(HWND hMain, int nRow) { return DetailsCell(hMain, nRow, 1); }

std::string DetailsText(HWND hMain, int nId)
{
    HWND hControl = GetDlgItem(DetailsPane(hMain), nId);
    const int length = GetWindowTextLengthW(hControl);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(hControl, &text[0], length + 1);
    return Utf8(text.c_str());
}

void SelectOnlyRow(HWND hList, int nRow)
{
    LVITEMW clear = {};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(hList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
    if (nRow < 0)
        return;
    LVITEMW select = {};
    select.state = LVIS_SELECTED | LVIS_FOCUSED;
    select.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(hList, LVM_SETITEMSTATE, static_cast<WPARAM>(nRow), reinterpret_cast<LPARAM>(&select));
}
