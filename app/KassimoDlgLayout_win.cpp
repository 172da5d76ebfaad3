// The main window's size: resizable from the template's size up, the list
// growing with it, the size kept in the settings file, and a Status column
// wide enough for every status it shows.
#include "app/KassimoDlg.h"

#include "res/resource.h"
#include "ui/ChildPlacement.h"
#include "ui/DialogData.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace {

// A section of its own: the sources' sections and keys stay as they are.
const char WINDOW_SECTION[] = "Window";
const char WIDTH_KEY[] = "Width";
const char HEIGHT_KEY[] = "Height";
// Room for the cell's margins beside the text's own width.
const int STATUS_COLUMN_PADDING = 16;

// Every status a row can show before a worker reports one of its own.
const char* const STATUS_KEYS[] = {
    "IDS_PTS_WAIT_CONNECT", "IDS_PTS_CONNECTED",     "IDS_PTS_COM_SETTING_DONE", "IDS_PTS_COM_SETTING_FAIL",
    "IDS_PTS_LISTEN_FAIL",  "IDS_PTS_FOLDER_MISSING", "IDS_RECONNECT",
};

}  // namespace

void CKassimoDlg::InitLayout()
{
    RECT client = {};
    GetClientRect(Hwnd(), &client);
    m_ListRect = ChildRect(Hwnd(), m_hList);
    m_StartRect = ChildRect(Hwnd(), Item(IDC_START));
    m_AutoRunRect = ChildRect(Hwnd(), Item(IDC_AUTORUN));
    // The details pane takes the band where the box was, and the box goes below it.
    const int nPane = m_Details.Height();
    m_DetailsRect = {m_ListRect.left, m_AutoRunRect.top, m_ListRect.right, m_AutoRunRect.top + nPane};
    OffsetRect(&m_AutoRunRect, 0, nPane);
    client.bottom += nPane;
    m_TemplateClient = {client.right, client.bottom};
    // Opened at least as wide as a receipt's line needs; the list takes the width too.
    client.right += m_Details.WidthWanted();

    // A resizable frame around the template's client area, which stays the smallest size.
    const LONG_PTR style = GetWindowLongPtrA(Hwnd(), GWL_STYLE) | WS_THICKFRAME | WS_MAXIMIZEBOX;
    SetWindowLongPtrA(Hwnd(), GWL_STYLE, style);
    RECT frame = client;
    AdjustWindowRectEx(&frame, static_cast<DWORD>(style), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(Hwnd(), GWL_EXSTYLE)));
    m_MinWindow = {frame.right - frame.left, frame.bottom - frame.top};
    SetWindowPos(Hwnd(), nullptr, 0, 0, m_MinWindow.cx, m_MinWindow.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    OnMessage(WM_GETMINMAXINFO, [this](WPARAM, LPARAM lParam) {
        if (m_MinWindow.cx > 0)
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {m_MinWindow.cx, m_MinWindow.cy};
        return INT_PTR(TRUE);
    });
    OnMessage(WM_EXITSIZEMOVE, [this](WPARAM, LPARAM) {
        SaveSizeIfChanged();
        return INT_PTR(FALSE);
    });
}

void CKassimoDlg::LayOut(int cx, int cy)
{
    if (!m_hList || m_TemplateClient.cx == 0)
        return;
    const int dx = cx > m_TemplateClient.cx ? cx - m_TemplateClient.cx : 0;
    const int dy = cy > m_TemplateClient.cy ? cy - m_TemplateClient.cy : 0;
    RECT list = m_ListRect;
    list.right += dx;
    list.bottom += dy;
    Place(m_hList, list);
    RECT start = m_StartRect;
    OffsetRect(&start, dx, 0);
    Place(Item(IDC_START), start);
    RECT autoRun = m_AutoRunRect;
    OffsetRect(&autoRun, 0, dy);
    Place(Item(IDC_AUTORUN), autoRun);
    if (m_Details.Hwnd()) {
        RECT details = m_DetailsRect;
        details.right += dx;
        OffsetRect(&details, 0, dy);
        Place(m_Details.Hwnd(), details);
    }
    InvalidateRect(Hwnd(), nullptr, TRUE);
}

void CKassimoDlg::RestoreSavedSize()
{
    const std::string path = SettingsPath();
    const int cx = static_cast<int>(GetPrivateProfileIntA(WINDOW_SECTION, WIDTH_KEY, 0, path.c_str()));
    const int cy = static_cast<int>(GetPrivateProfileIntA(WINDOW_SECTION, HEIGHT_KEY, 0, path.c_str()));
    if (cx <= 0 || cy <= 0)
        return;
    m_SavedWindow = {cx, cy};
    // Never smaller than the template, never larger than the screen it is on.
    const int nMaxX = GetSystemMetrics(SM_CXVIRTUALSCREEN), nMaxY = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const int width = std::max<int>(m_MinWindow.cx, nMaxX > 0 ? std::min(cx, nMaxX) : cx);
    const int height = std::max<int>(m_MinWindow.cy, nMaxY > 0 ? std::min(cy, nMaxY) : cy);
    SetWindowPos(Hwnd(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CKassimoDlg::SaveSizeIfChanged()
{
    if (!Hwnd() || m_MinWindow.cx == 0)
        return;
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(Hwnd(), &placement))
        return;
    const SIZE size = {placement.rcNormalPosition.right - placement.rcNormalPosition.left,
                       placement.rcNormalPosition.bottom - placement.rcNormalPosition.top};
    if (size.cx <= 0 || size.cy <= 0 || (size.cx == m_SavedWindow.cx && size.cy == m_SavedWindow.cy))
        return;
    // A window never resized leaves the file as it was.
    if (m_SavedWindow.cx == 0 && size.cx == m_MinWindow.cx && size.cy == m_MinWindow.cy)
        return;
    const std::string path = SettingsPath();
    WritePrivateProfileStringA(WINDOW_SECTION, WIDTH_KEY, std::to_string(size.cx).c_str(), path.c_str());
    WritePrivateProfileStringA(WINDOW_SECTION, HEIGHT_KEY, std::to_string(size.cy).c_str(), path.c_str());
    m_SavedWindow = size;
}

void CKassimoDlg::FitStatusColumn(const std::string& text)
{
    if (!m_hList || text.empty())
        return;
    const std::wstring wide = WideFromUtf8(text);
    const int want =
        static_cast<int>(SendMessageW(m_hList, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(wide.c_str()))) +
        STATUS_COLUMN_PADDING;
    const int width = static_cast<int>(SendMessageA(m_hList, LVM_GETCOLUMNWIDTH, 0, 0));
    if (want > width)
        SendMessageA(m_hList, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(want, 0));
}

void CKassimoDlg::FitStatusColumnToKnownTexts()
{
    for (const char* key : STATUS_KEYS)
        FitStatusColumn(GetString(key));
}

LRESULT CKassimoDlg::OnListInfoTip(NMHDR* pHeader)
{
    // The whole status of the row under the pointer, however narrow its column.
    NMLVGETINFOTIPA* pTip = reinterpret_cast<NMLVGETINFOTIPA*>(pHeader);
    if (!pTip->pszText || pTip->cchTextMax <= 0 || pTip->iItem < 0)
        return 0;
    char status[512] = {};
    LVITEMA item = {};
    item.iSubItem = 0;
    item.pszText = status;
    item.cchTextMax = sizeof status;
    SendMessageA(m_hList, LVM_GETITEMTEXTA, static_cast<WPARAM>(pTip->iItem), reinterpret_cast<LPARAM>(&item));
    if (!status[0])
        return 0;
    lstrcpynA(pTip->pszText, status, pTip->cchTextMax);
    return 0;
}

LRESULT CKassimoDlg::OnListInfoTipW(NMHDR* pHeader)
{
    NMLVGETINFOTIPW* pTip = reinterpret_cast<NMLVGETINFOTIPW*>(pHeader);
    if (!pTip->pszText || pTip->cchTextMax <= 0 || pTip->iItem < 0)
        return 0;
    wchar_t status[512] = {};
    LVITEMW item = {};
    item.iSubItem = 0;
    item.pszText = status;
    item.cchTextMax = static_cast<int>(std::size(status));
    SendMessageW(m_hList, LVM_GETITEMTEXTW, static_cast<WPARAM>(pTip->iItem), reinterpret_cast<LPARAM>(&item));
    if (!status[0])
        return 0;
    lstrcpynW(pTip->pszText, status, pTip->cchTextMax);
    return 0;
}
