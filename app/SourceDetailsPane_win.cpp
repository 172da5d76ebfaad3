#include "app/SourceDetailsPane.h"

#include "lang/Language.h"
#include "output/OutputQueue.h"
#include "res/resource.h"
#include "ui/ChildPlacement.h"
#include "ui/DialogData.h"
#include "ui/FillText.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace {

const UINT_PTR REFRESH_TIMER = 1;
const UINT_PTR PARENT_WATCH_ID = 0x7D0;
// Room for a cell's margins beside its text.
const int CELL_PADDING = 14;
// The widest value a row shows: a date and time.
const wchar_t WIDEST_VALUE[] = L"0000-00-00 00:00:00";
// Columns of a receipt seen without scrolling: an 80 mm printer's line.
const int RECEIPT_COLUMNS = 42;

bool ToLocalClock(int64_t nUnixSeconds, CLOCK_TIME& clock)
{
    // FILETIME counts 100 ns from 1601.
    const int64_t nFrom1601 = nUnixSeconds + 11644473600LL;
    if (nFrom1601 < 0)
        return false;
    const ULONGLONG nTicks = static_cast<ULONGLONG>(nFrom1601) * 10000000ULL;
    const FILETIME utc = {static_cast<DWORD>(nTicks), static_cast<DWORD>(nTicks >> 32)};
    SYSTEMTIME utcTime = {}, local = {};
    if (!FileTimeToSystemTime(&utc, &utcTime) || !SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &local))
        return false;
    clock = {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
    return true;
}

// A read-only box has nothing to do with Tab, Enter or Esc: they move the
// focus on and reach the window, as in any other box of a dialog.
LRESULT CALLBACK LeaveDialogKeys(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam, UINT_PTR nId, DWORD_PTR)
{
    if (nMessage == WM_GETDLGCODE)
        return DefSubclassProc(hWnd, nMessage, wParam, lParam) & ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB);
    if (nMessage == WM_NCDESTROY)
        RemoveWindowSubclass(hWnd, LeaveDialogKeys, nId);
    return DefSubclassProc(hWnd, nMessage, wParam, lParam);
}

// The pane looks at the counters only while its window is shown: the program
// spends months hidden in the tray, and then the timer would wake it for nothing.
LRESULT CALLBACK WatchParentShown(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam, UINT_PTR nId, DWORD_PTR data)
{
    if (nMessage == WM_SHOWWINDOW && lParam == 0) {
        HWND hPane = reinterpret_cast<HWND>(data);
        if (wParam) {
            SetTimer(hPane, REFRESH_TIMER, CSourceDetailsPane::REFRESH_MS, nullptr);
            // What changed while it was hidden shows at once.
            PostMessageW(hPane, WM_TIMER, REFRESH_TIMER, 0);
        } else {
            KillTimer(hPane, REFRESH_TIMER);
        }
    }
    if (nMessage == WM_NCDESTROY)
        RemoveWindowSubclass(hWnd, WatchParentShown, nId);
    return DefSubclassProc(hWnd, nMessage, wParam, lParam);
}

void SetTextIfChanged(HWND hWnd, const std::wstring& text)
{
    wchar_t shown[512] = {};
    GetWindowTextW(hWnd, shown, static_cast<int>(std::size(shown)));
    if (text != shown)
        SetWindowTextW(hWnd, text.c_str());
}

}  // namespace

CSourceDetailsPane::CSourceDetailsPane(CLanguage* pLanguage, bool bRightToLeft)
    : CDialogBase(IDD_SOURCE_DETAILS), m_pLanguage(pLanguage)
{
    SetRightToLeftLayout(bRightToLeft);
    OnMessage(WM_TIMER, [this](WPARAM wParam, LPARAM) {
        if (wParam != REFRESH_TIMER)
            return INT_PTR(FALSE);
        // A window kept hidden by other means than hiding it: nobody reads the pane.
        if (IsWindowVisible(Hwnd()))
            Refresh();
        else
            KillTimer(Hwnd(), REFRESH_TIMER);
        return INT_PTR(TRUE);
    });
    OnMessage(WM_DESTROY, [this](WPARAM, LPARAM) {
        RemoveWindowSubclass(GetParent(Hwnd()), WatchParentShown, PARENT_WATCH_ID);
        return INT_PTR(FALSE);
    });
    OnMessage(WM_SIZE, [this](WPARAM, LPARAM lParam) {
        LayOut(LOWORD(lParam), HIWORD(lParam));
        return INT_PTR(FALSE);
    });
    // A pane is no dialog of its own: Enter, Esc and the Esc of a multi-line
    // box (which closes its parent) must not end it.
    OnMessage(WM_CLOSE, [](WPARAM, LPARAM) { return INT_PTR(TRUE); });
    OnCommand(IDOK, [](WORD) {});
    OnCommand(IDCANCEL, [](WORD) {});
}

CSourceDetailsPane::~CSourceDetailsPane()
{
    // Before the receipt view's font goes.
    if (Hwnd())
        DestroyWindow(Hwnd());
}

HWND CSourceDetailsPane::Create(HWND hParent, int nId, SELECTION selection)
{
    m_Selection = std::move(selection);
    HWND hPane = CreateModeless(hParent);
    if (hPane)
        SetWindowLongPtrW(hPane, GWLP_ID, nId);
    return hPane;
}

void CSourceDetailsPane::KeepReceiptLeftToRight()
{
    // The till's lines read left to right as it printed them, also where the
    // window is mirrored. A box takes its direction when it is made, and a
    // mirrored parent hands its own to every child it makes: the box is made
    // anew, after the pane stops handing it on.
    const LONG_PTR paneStyle = GetWindowLongPtrW(Hwnd(), GWL_EXSTYLE);
    if (!(paneStyle & WS_EX_LAYOUTRTL))
        return;
    SetWindowLongPtrW(Hwnd(), GWL_EXSTYLE, paneStyle | WS_EX_NOINHERITLAYOUT);
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(m_hReceipt, GWL_STYLE)) & ~static_cast<DWORD>(ES_RIGHT);
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(m_hReceipt, GWL_EXSTYLE)) &
                          ~static_cast<DWORD>(WS_EX_LAYOUTRTL | WS_EX_RTLREADING | WS_EX_RIGHT | WS_EX_LEFTSCROLLBAR);
    HWND hBox = CreateWindowExW(exStyle, L"EDIT", L"", style, 0, 0, m_ReceiptRect.right - m_ReceiptRect.left,
                                m_ReceiptRect.bottom - m_ReceiptRect.top, Hwnd(),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_RECEIPT_VIEW)),
                                GetModuleHandleW(nullptr), nullptr);
    if (!hBox)
        return;
    SetWindowPos(hBox, m_hReceipt, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    DestroyWindow(m_hReceipt);
    m_hReceipt = hBox;
    SetWindowPos(m_hReceipt, nullptr, m_ReceiptRect.left, m_ReceiptRect.top, m_ReceiptRect.right - m_ReceiptRect.left,
                 m_ReceiptRect.bottom - m_ReceiptRect.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

int CSourceDetailsPane::ReceiptWidthWanted() const
{
    HDC hDC = GetDC(m_hReceipt);
    if (!hDC)
        return 0;
    HGDIOBJ hOld = SelectObject(hDC, m_pReceiptFont ? m_pReceiptFont.get() : GetStockObject(SYSTEM_FIXED_FONT));
    const std::wstring line(RECEIPT_COLUMNS, L'0');
    SIZE size = {};
    GetTextExtentPoint32W(hDC, line.c_str(), static_cast<int>(line.size()), &size);
    SelectObject(hDC, hOld);
    ReleaseDC(m_hReceipt, hDC);
    RECT window = {}, client = {};
    GetWindowRect(m_hReceipt, &window);
    GetClientRect(m_hReceipt, &client);
    // The box's frame, its scroll bar and its margins beside the text.
    const int nAround = (window.right - window.left) - client.right + GetSystemMetrics(SM_CXVSCROLL) + 8;
    const int nHave = m_ReceiptRect.right - m_ReceiptRect.left;
    return std::max<int>(0, size.cx + nAround - nHave);
}

int CSourceDetailsPane::Height() const
{
    if (!Hwnd())
        return 0;
    RECT rect = {};
    GetWindowRect(Hwnd(), &rect);
    return rect.bottom - rect.top;
}

std::wstring CSourceDetailsPane::Text(const char* key) const
{
    return m_pLanguage ? m_pLanguage->GetText(key) : std::wstring();
}

BOOL CSourceDetailsPane::OnInitDialog()
{
    m_hList = Item(IDC_DETAILS_LIST);
    m_hReceipt = Item(IDC_RECEIPT_VIEW);
    RECT client = {};
    GetClientRect(Hwnd(), &client);
    m_TemplateSize = {client.right, client.bottom};
    m_ListRect = ChildRect(Hwnd(), m_hList);
    m_LabelRect = ChildRect(Hwnd(), Item(IDC_RECEIPT_LABEL));
    m_ReceiptRect = ChildRect(Hwnd(), m_hReceipt);

    KeepReceiptLeftToRight();
    HFONT hFont = m_pLanguage ? m_pLanguage->GetFont() : nullptr;
    if (hFont) {
        for (int id : {IDC_DETAILS_TITLE, IDC_DETAILS_LIST, IDC_RECEIPT_LABEL})
            SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
    }
    // Receipts are laid out for a printer's fixed columns.
    LOGFONTW look = {};
    if (!hFont || !GetObjectW(hFont, sizeof look, &look))
        look.lfHeight = -12;
    m_pReceiptFont.reset(CreateFontW(look.lfHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN,
                                     L"Courier New"));
    if (m_pReceiptFont)
        SendMessageW(m_hReceipt, WM_SETFONT, reinterpret_cast<WPARAM>(m_pReceiptFont.get()), FALSE);
    // The text set is never limited; the limit only stops typing, which a read-only box has none of.
    SendMessageW(m_hReceipt, EM_SETLIMITTEXT, 0, 0);
    SetWindowSubclass(m_hReceipt, LeaveDialogKeys, 2, 0);

    LoadTexts();
    FitLabels(hFont);
    FillList();
    m_nWantedWidth = ReceiptWidthWanted();
    Refresh();
    HWND hParent = GetParent(Hwnd());
    SetWindowSubclass(hParent, WatchParentShown, PARENT_WATCH_ID, reinterpret_cast<DWORD_PTR>(Hwnd()));
    if (IsWindowVisible(hParent))
        SetTimer(Hwnd(), REFRESH_TIMER, REFRESH_MS, nullptr);
    return FALSE;  // the focus stays where the main window puts it
}

void CSourceDetailsPane::LoadTexts()
{
    for (int row = 0; row < DETAIL_ROW_COUNT; ++row)
        m_Texts.strLabels[row] = Utf8FromWide(Text(DETAIL_LABEL_KEYS[row]));
    m_Texts.strBytes = Utf8FromWide(Text("IDS_DETAILS_BYTES"));
    m_Texts.strKilobytes = Utf8FromWide(Text("IDS_DETAILS_KB"));
    m_Texts.strMegabytes = Utf8FromWide(Text("IDS_DETAILS_MB"));
    m_Texts.strGigabytes = Utf8FromWide(Text("IDS_DETAILS_GB"));
    m_Texts.strNever = Utf8FromWide(Text("IDS_DETAILS_NEVER"));
    m_Texts.strNoRecorder = Utf8FromWide(Text("IDS_DETAILS_NO_RECORDER"));
    // Without a language file the units still say what the number is.
    for (std::string* pUnit : {&m_Texts.strBytes, &m_Texts.strKilobytes, &m_Texts.strMegabytes, &m_Texts.strGigabytes}) {
        if (pUnit->empty())
            *pUnit = "%1";
    }
    wchar_t decimal[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, static_cast<int>(std::size(decimal))) > 1)
        m_Texts.strDecimal = Utf8FromWide(decimal);
}

void CSourceDetailsPane::FillList()
{
    int nLabelWidth = 0;
    for (int row = 0; row < DETAIL_ROW_COUNT; ++row) {
        const std::wstring label = WideFromUtf8(m_Texts.strLabels[row]);
        nLabelWidth = std::max(nLabelWidth, static_cast<int>(SendMessageW(m_hList, LVM_GETSTRINGWIDTHW, 0,
                                                                             reinterpret_cast<LPARAM>(label.c_str()))));
    }
    nLabelWidth += CELL_PADDING;
    const int nValueWidth =
        static_cast<int>(SendMessageW(m_hList, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(WIDEST_VALUE))) +
        CELL_PADDING;
    for (int column = 0; column < 2; ++column) {
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
        lvc.fmt = LVCFMT_LEFT;
        lvc.cx = column == 0 ? nLabelWidth : nValueWidth;
        lvc.iSubItem = column;
        SendMessageW(m_hList, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&lvc));
    }
    SendMessageW(m_hList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP,
                 LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    for (int row = 0; row < DETAIL_ROW_COUNT; ++row) {
        std::wstring label = WideFromUtf8(m_Texts.strLabels[row]);
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = &label[0];
        SendMessageW(m_hList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    FitList(nLabelWidth + nValueWidth);
    RECT client = {};
    GetClientRect(m_hList, &client);
    SendMessageW(m_hList, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(std::max<int>(nValueWidth, client.right - nLabelWidth), 0));
}

void CSourceDetailsPane::FitLabels(HFONT hFont)
{
    // A taller font (Chinese, Japanese, Thai) gets taller labels, and what is below them moves down.
    HWND hTitle = Item(IDC_DETAILS_TITLE);
    HDC hDC = GetDC(hTitle);
    if (!hDC)
        return;
    HGDIOBJ hOld = hFont ? SelectObject(hDC, hFont) : nullptr;
    TEXTMETRICW metrics = {};
    const BOOL bMeasured = GetTextMetricsW(hDC, &metrics);
    if (hOld)
        SelectObject(hDC, hOld);
    ReleaseDC(hTitle, hDC);
    const RECT title = ChildRect(Hwnd(), hTitle);
    const int dy = bMeasured ? static_cast<int>(metrics.tmHeight) - (title.bottom - title.top) : 0;
    if (dy <= 0)
        return;
    RECT titleRect = title;
    titleRect.bottom += dy;
    m_LabelRect.bottom += dy;
    OffsetRect(&m_ListRect, 0, dy);
    OffsetRect(&m_ReceiptRect, 0, dy);
    m_TemplateSize.cy += dy;
    Place(hTitle, titleRect);
    Place(Item(IDC_RECEIPT_LABEL), m_LabelRect);
    Place(m_hList, m_ListRect);
    Place(m_hReceipt, m_ReceiptRect);
    RECT pane = {};
    GetWindowRect(Hwnd(), &pane);
    SetWindowPos(Hwnd(), nullptr, 0, 0, pane.right - pane.left, pane.bottom - pane.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CSourceDetailsPane::FitList(int nRowWidth)
{
    // Every row in sight without scrolling, in every language: the list grows
    // to its rows, the pane with it, and the receipt view gives up the width.
    RECT window = {}, client = {};
    GetWindowRect(m_hList, &window);
    GetClientRect(m_hList, &client);
    const int nFrameX = (window.right - window.left) - client.right;
    const int nFrameY = (window.bottom - window.top) - client.bottom;
    const DWORD view = static_cast<DWORD>(SendMessageW(m_hList, LVM_APPROXIMATEVIEWRECT, DETAIL_ROW_COUNT, MAKELPARAM(-1, -1)));
    const int dy = std::max<int>(0, HIWORD(view) + nFrameY - (m_ListRect.bottom - m_ListRect.top));
    const int nRoom = m_ReceiptRect.right - m_ReceiptRect.left - (m_ReceiptRect.right - m_ReceiptRect.left) / 2;
    const int dx = std::min<int>(nRoom, std::max<int>(0, nRowWidth + nFrameX - (m_ListRect.right - m_ListRect.left)));
    m_ListRect.right += dx;
    m_ListRect.bottom += dy;
    for (RECT* pRect : {&m_LabelRect, &m_ReceiptRect})
        pRect->left += dx;
    m_ReceiptRect.bottom += dy;
    m_TemplateSize.cy += dy;
    Place(m_hList, m_ListRect);
    Place(Item(IDC_RECEIPT_LABEL), m_LabelRect);
    Place(m_hReceipt, m_ReceiptRect);
    if (dy > 0) {
        RECT pane = {};
        GetWindowRect(Hwnd(), &pane);
        SetWindowPos(Hwnd(), nullptr, 0, 0, pane.right - pane.left, pane.bottom - pane.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CSourceDetailsPane::LayOut(int cx, int cy)
{
    if (!m_hList || m_TemplateSize.cx == 0)
        return;
    // The counters keep their width; the receipt takes what the window gives.
    const int dx = cx > m_TemplateSize.cx ? cx - m_TemplateSize.cx : 0;
    const int dy = cy > m_TemplateSize.cy ? cy - m_TemplateSize.cy : 0;
    RECT list = m_ListRect;
    list.bottom += dy;
    Place(m_hList, list);
    RECT label = m_LabelRect;
    label.right += dx;
    Place(Item(IDC_RECEIPT_LABEL), label);
    RECT receipt = m_ReceiptRect;
    receipt.right += dx;
    receipt.bottom += dy;
    Place(m_hReceipt, receipt);
}

void CSourceDetailsPane::Refresh()
{
    if (!Hwnd())
        return;
    const DETAILS_SOURCE source = m_Selection ? m_Selection() : DETAILS_SOURCE();
    if (!m_bShownAny || source.pQueue != m_pShownQueue || source.strName != m_strShownName) {
        // Another source: everything is shown afresh.
        m_bShownAny = true;
        m_pShownQueue = source.pQueue;
        m_strShownName = source.strName;
        m_bCountersShown = false;
        m_bReceiptShown = false;
        ShowTitle(source);
    }
    ShowCounters(source.pQueue);
}

void CSourceDetailsPane::ShowTitle(const DETAILS_SOURCE& source)
{
    const std::wstring title =
        source.pQueue ? WideFromUtf8(FillText(Utf8FromWide(Text("IDS_DETAILS_TITLE")),
                                              {Utf8FromWide(WideFromAnsi(source.strName))}))
                      : Text("IDS_DETAILS_NO_SOURCE");
    SetTextIfChanged(Item(IDC_DETAILS_TITLE), title);
}

void CSourceDetailsPane::ShowValue(int nRow, const std::string& strValue)
{
    if (m_strShownValues[nRow] == strValue)
        return;
    m_strShownValues[nRow] = strValue;
    std::wstring value = WideFromUtf8(strValue);
    LVITEMW item = {};
    item.iSubItem = 1;
    item.pszText = &value[0];
    SendMessageW(m_hList, LVM_SETITEMTEXTW, static_cast<WPARAM>(nRow), reinterpret_cast<LPARAM>(&item));
}

void CSourceDetailsPane::ShowCounters(const COutputQueue* pQueue)
{
    if (!pQueue) {
        for (int row = 0; row < DETAIL_ROW_COUNT; ++row)
            ShowValue(row, std::string());
        if (!m_bReceiptShown) {
            m_bReceiptShown = true;
            m_strShownReceipt.clear();
            SetTextIfChanged(Item(IDC_RECEIPT_LABEL), std::wstring());
            SetWindowTextW(m_hReceipt, L"");
        }
        return;
    }
    const SOURCE_COUNTERS_SNAPSHOT snapshot = pQueue->Counters().Snapshot();
    if (!m_bCountersShown || !SameCounters(snapshot, m_ShownCounters)) {
        const std::vector<DETAIL_LINE> lines = DetailLines(snapshot, m_Texts, ToLocalClock);
        for (int row = 0; row < DETAIL_ROW_COUNT && row < static_cast<int>(lines.size()); ++row)
            ShowValue(row, lines[static_cast<size_t>(row)].strValue);
        m_ShownCounters = snapshot;
        m_bCountersShown = true;
    }
    ShowReceipt(pQueue, snapshot.nReceiptsCaptured);
}

void CSourceDetailsPane::ShowReceipt(const COutputQueue* pQueue, uint64_t nReceipts)
{
    const bool bMoved = !m_bReceiptShown || nReceipts != m_nReceiptsFetched;
    if (!bMoved && !m_bFetchAgain)
        return;
    m_bFetchAgain = bMoved;
    m_nReceiptsFetched = nReceipts;
    const std::string receipt = pQueue->LastReceipt();
    if (m_bReceiptShown && receipt == m_strShownReceipt)
        return;
    m_bReceiptShown = true;
    m_strShownReceipt = receipt;
    SetTextIfChanged(Item(IDC_RECEIPT_LABEL),
                     Text(receipt.empty() ? "IDS_DETAILS_NO_RECEIPT" : "IDS_DETAILS_LAST_RECEIPT"));
    SetWindowTextW(m_hReceipt, WideFromAnsi(VisibleReceipt(receipt)).c_str());
}
