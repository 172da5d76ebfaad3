#include "app/KassimoDlg.h"

#include "ui/DialogData.h"
#include "app/KassimoApp.h"
#include "base/Trace.h"
#include "base/IniProfile.h"
#include "config/InfoGenesisDlg.h"
#include "config/MonitorType.h"
#include "config/OposSettings.h"
#include "config/SettingsFile.h"
#include "ui/FillText.h"
#include "lang/Language.h"
#include "output/QueueFile.h"
#include "res/resource.h"

#include <commctrl.h>

#include <iterator>
#include <memory>
#include <vector>

namespace {

// The About box: the program icon, its version line and OK.
class CAboutDlg : public CDialogBase {
public:
    explicit CAboutDlg(CLanguage* pLanguage) : CDialogBase(IDD_ABOUTBOX), m_pLanguage(pLanguage) {}

protected:
    BOOL OnInitDialog() override
    {
        const std::wstring caption = m_pLanguage ? m_pLanguage->GetText("IDS_PTS_ABOUT_CAPTION") : std::wstring();
        SetWindowTextW(Hwnd(), caption.empty() ? L"About Tillvox" : caption.c_str());
        const struct { int id; const char* key; } texts[] = {{IDOK, "IDS_PTS_OK"}};
        for (const auto& text : texts) {
            const std::wstring shown = m_pLanguage ? m_pLanguage->GetText(text.key) : std::wstring();
            if (!shown.empty())
                SetDlgItemTextW(Hwnd(), text.id, shown.c_str());
        }
        return TRUE;
    }

private:
    CLanguage* m_pLanguage;
};

// The close question is the message box the main window owns: answered
// "keep capturing", as the window is about to end anyway.
BOOL CALLBACK AnswerCloseQuestion(HWND hWnd, LPARAM lParam)
{
    char name[16] = {};
    GetClassNameA(hWnd, name, sizeof name);
    if (GetWindow(hWnd, GW_OWNER) == reinterpret_cast<HWND>(lParam) && std::string(name) == "#32770")
        PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    return TRUE;
}

const struct { const char* key; int width; } LIST_COLUMNS[] = {
    {"IDS_PTS_STATUS", 120}, {"IDS_PTS_SOURCE", 320}, {"IDS_PTS_POS_INDEX", 80},
    {"IDS_PTS_PORT", 80},    {"IDS_PTS_PARAMETER", 150},
};

}  // namespace

CKassimoDlg::CKassimoDlg(CLanguage* pLanguage, std::string strDataFolder, bool bMonitor, bool bRightToLeft)
    : CDialogBase(IDD_KASSIMO_DIALOG),
      m_ReadFileSetting(pLanguage, bRightToLeft),
      m_InternetSettingDlg(pLanguage, bRightToLeft),
      m_pLanguage(pLanguage),
      m_strDataFolder(std::move(strDataFolder)),
      m_bMonitor(bMonitor),
      m_bRightToLeft(bRightToLeft),
      m_dwUiThreadId(GetCurrentThreadId()),
      m_Engine(*this),
      m_Details(pLanguage, bRightToLeft)
{
    SetRightToLeftLayout(bRightToLeft);
    OnMessage(WM_LIST_CELL, [this](WPARAM w, LPARAM) { return OnListCell(w); });
    OnMessage(WM_CAUTION_BOX, [this](WPARAM w, LPARAM) { return OnCautionRequest(w); });
    OnMessage(WM_SYSCOMMAND, [this](WPARAM w, LPARAM) { return OnSysCommand(w); });
    OnMessage(WM_INFOGENESIS_STATUS, [this](WPARAM w, LPARAM l) {
        // The language texts in it are UTF-8, the values from the dialog's boxes ANSI.
        const std::string text = m_Engine.InfogenesisRowText(static_cast<int>(w), static_cast<int>(l));
        if (!text.empty())
            SetCell(static_cast<int>(w), 1, WideFromUtf8OrAnsi(text));
        return INT_PTR(TRUE);
    });
    OnMessage(WM_INFOGENESIS_RETRY, [this](WPARAM w, LPARAM) {
        if (w < static_cast<WPARAM>(MAX_SOURCES))
            SetTimer(Hwnd(), TIMER_INFOGENESIS_BASE + w, 5000, nullptr);
        return INT_PTR(TRUE);
    });
    OnMessage(WM_TIMER, [this](WPARAM w, LPARAM) { return OnTimer(w); });
    OnMessage(WM_PAINT, [this](WPARAM, LPARAM) {
        if (!IsIconic(Hwnd()))
            return INT_PTR(FALSE);
        // Minimised without a tray: draw the program icon centred in the client area.
        PAINTSTRUCT paint;
        HDC hDC = BeginPaint(Hwnd(), &paint);
        SendMessageA(Hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hDC), 0);
        RECT client;
        GetClientRect(Hwnd(), &client);
        const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
        DrawIcon(hDC, (client.right - client.left - cx + 1) / 2, (client.bottom - client.top - cy + 1) / 2, m_hIcon);
        EndPaint(Hwnd(), &paint);
        return INT_PTR(TRUE);
    });
    OnMessage(WM_QUERYDRAGICON, [this](WPARAM, LPARAM) {
        SetWindowLongPtrA(Hwnd(), DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(m_hIcon));
        return INT_PTR(TRUE);
    });
    OnMessage(WM_DESTROY, [this](WPARAM, LPARAM) {
        SaveSizeIfChanged();
        m_TrayIcon.Remove();
        StopCaptureForExit();
        return INT_PTR(FALSE);
    });
    OnMessage(WM_ENDSESSION, [this](WPARAM w, LPARAM) {
        // The session ends without the window being destroyed: stop now, so nothing is cut off.
        if (w)
            StopCaptureForExit();
        return INT_PTR(FALSE);
    });
    // A close that another program asks for (an upgrade, closeprogram,
    // taskkill) and the tray's Exit end the program at once; the user's
    // close box goes through WM_SYSCOMMAND first (OnUserClose).
    OnMessage(WM_CLOSE, [this](WPARAM, LPARAM) {
        m_bCloseRequested = true;
        // An upgrade must not wait for a person to answer the close question.
        if (m_bAskingToClose)
            EnumThreadWindows(GetCurrentThreadId(), AnswerCloseQuestion, reinterpret_cast<LPARAM>(Hwnd()));
        EndDialog(IDCANCEL);
        return INT_PTR(TRUE);
    });
    // Enter and Esc do what a dialog does with them everywhere else, but
    // this window is the program: a key press must not end every capture.
    OnCommand(IDOK, [](WORD) {});
    OnCommand(IDCANCEL, [](WORD) {});
    OnNotify(IDC_SOURCE_LIST, LVN_GETINFOTIPA, [this](NMHDR* pHeader) { return OnListInfoTip(pHeader); });
    OnNotify(IDC_SOURCE_LIST, LVN_GETINFOTIPW, [this](NMHDR* pHeader) { return OnListInfoTipW(pHeader); });
    OnCommand(IDC_NEW, [this](WORD) { OnNew(); });
    OnCommand(IDC_MODIFY, [this](WORD) { OnModify(); });
    OnCommand(IDC_DELETE, [this](WORD) { OnDelete(); });
    OnCommand(IDC_START, [this](WORD) { OnStartStop(); });
    OnCommand(IDC_AUTORUN, [this](WORD) { OnAutoRun(); });
    OnNotify(IDC_SOURCE_LIST, NM_DBLCLK, [this](NMHDR* pHeader) {
        const int nRow = reinterpret_cast<NMITEMACTIVATE*>(pHeader)->iItem;
        if (nRow >= 0 && !m_Engine.m_bRunning)
            ModifySource(nRow);
        return LRESULT(0);
    });
    InitTray();
}

CKassimoDlg::~CKassimoDlg()
{
    Trace("delete memory\n");
}

std::string CKassimoDlg::GetString(const char* key)
{
    return Utf8FromWide(GetText(key));
}

std::wstring CKassimoDlg::GetText(const char* key)
{
    return m_pLanguage ? m_pLanguage->GetText(key) : std::wstring();
}

void CKassimoDlg::OnInfogenesisStatus(int nSource, int nStatus)
{
    if (Hwnd())
        PostMessageA(Hwnd(), WM_INFOGENESIS_STATUS, static_cast<WPARAM>(nSource), static_cast<LPARAM>(nStatus));
}

void CKassimoDlg::ArmInfogenesisRetry(int nObject)
{
    // A timer belongs to the thread that sets it: the user-interface thread sets it.
    if (Hwnd())
        PostMessageA(Hwnd(), WM_INFOGENESIS_RETRY, static_cast<WPARAM>(nObject), 0);
}

INT_PTR CKassimoDlg::OnTimer(WPARAM wParam)
{
    if (wParam < TIMER_INFOGENESIS_BASE || wParam >= TIMER_INFOGENESIS_BASE + MAX_SOURCES)
        return FALSE;
    // One shot: the timer goes whether or not capture still runs.
    KillTimer(Hwnd(), wParam);
    m_Engine.RestartInfogenesis(static_cast<int>(wParam - TIMER_INFOGENESIS_BASE));
    return TRUE;
}

void CKassimoDlg::OnListCellPosted(int slot)
{
    if (Hwnd())
        PostMessageA(Hwnd(), WM_LIST_CELL, static_cast<WPARAM>(slot), 0);
}

int CKassimoDlg::CautionBox(const std::string& text, UINT nFlags)
{
    return MessageBoxW(Hwnd(), WideFromUtf8(text).c_str(), GetText("IDS_CAUTION").c_str(), nFlags);
}

int CKassimoDlg::NoticeBox(const std::string& text, UINT nFlags)
{
    std::wstring caption = GetText("IDS_PTS_DLG_NAME");
    if (caption.empty()) {
        wchar_t title[64] = {};
        LoadStringW(GetModuleHandleW(nullptr), IDS_APP_TITLE, title, static_cast<int>(std::size(title)));
        caption = title;
    }
    if (m_bRightToLeft)
        nFlags |= MB_RTLREADING | MB_RIGHT;
    return MessageBoxW(Hwnd(), WideFromUtf8(text).c_str(), caption.c_str(), nFlags);
}

void CKassimoDlg::CautionBox(int nSource, const std::string& text)
{
    if (nSource < 0 || nSource >= MAX_SOURCES)
        return;
    // A worker never waits for the user: the box is shown by the user-interface
    // thread, and while one is open for a source, further ones are not raised.
    if (m_bWarningOpen[nSource].exchange(true))
        return;
    {
        std::lock_guard<std::mutex> lock(m_WarningMutex);
        m_strWarning[nSource] = text;
    }
    if (!Hwnd() || !PostMessageA(Hwnd(), WM_CAUTION_BOX, static_cast<WPARAM>(nSource), 0))
        m_bWarningOpen[nSource] = false;
}

INT_PTR CKassimoDlg::OnCautionRequest(WPARAM wParam)
{
    const int nSource = static_cast<int>(wParam);
    if (nSource < 0 || nSource >= MAX_SOURCES)
        return TRUE;
    std::string text;
    {
        std::lock_guard<std::mutex> lock(m_WarningMutex);
        text = m_strWarning[nSource];
    }
    CautionBox(WrongPasswordText(nSource, text), MB_OK | MB_ICONEXCLAMATION);
    m_bWarningOpen[nSource] = false;
    return TRUE;
}

std::string CKassimoDlg::WrongPasswordText(int nSource, const std::string& text)
{
    // With several recorders the warning must say which source and port it is about.
    if (nSource >= m_Engine.SourceCount())
        return text;
    const POS_SETTING_INFO& record = m_Engine.Source(nSource);
    const std::string which =
        FillText(GetString("IDS_PTS_WARNING_SOURCE_PORT"),
                 {Utf8FromAnsi(record.strPosIndex), Utf8FromAnsi(UnwrapTcpPort(record.strPort))});
    return which.empty() ? text : text + "\n\n" + which;
}

BOOL CKassimoDlg::OnInitDialog()
{
    HMENU hSystemMenu = GetSystemMenu(Hwnd(), FALSE);
    char title[64] = {};
    LoadStringA(GetModuleHandleA(nullptr), IDS_APP_TITLE, title, sizeof title);
    if (hSystemMenu && title[0]) {
        AppendMenuA(hSystemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(hSystemMenu, MF_STRING, IDM_ABOUTBOX, title);
    }
    m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    SendMessageA(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_hList = Item(IDC_SOURCE_LIST);
    SetTexts();
    InitDetails();
    InitLayout();
    m_TrayIcon.Init(Hwnd(), GetString("IDS_PTS_DLG_NAME"));
    m_Engine.SetRightToLeft(m_bRightToLeft);
    m_Engine.LoadTexts();
    m_Engine.SetQueueFolder(QueueFolderOf(m_strDataFolder));
    InsertColumns();

    const std::vector<SOURCE_ROW_TEXT> rows = m_Engine.LoadSettings(SettingsPath());
    bool bOpos = false;
    for (size_t i = 0; i < rows.size(); ++i) {
        AddRow(static_cast<int>(i), rows[i]);
        bOpos = bOpos || m_Engine.Source(static_cast<int>(i)).nMonitorType == KIND_OPOS;
    }
    // Only one OPOS source may exist, also after a restart.
    SetOposExists(bOpos);

    if (GetPrivateProfileIntA("AutoExecute", "AutoExecute", 0, SettingsPath().c_str()) != 0)
        CheckDlgButton(Hwnd(), IDC_AUTORUN, BST_CHECKED);

    RestoreSavedSize();
    if (m_bMonitor) {
        StartSequence();
        // Straight to the tray: a minimise would first show the window.
        GoToTray();
    }
    return TRUE;
}

void CKassimoDlg::SetTexts()
{
    HFONT hFont = m_pLanguage ? m_pLanguage->GetFont() : nullptr;
    if (hFont)
        SendMessageA(Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);
    SetWindowTextW(Hwnd(), GetText("IDS_PTS_DLG_NAME").c_str());
    const struct { int id; const char* key; } controls[] = {
        {IDC_NEW, "IDS_PTS_NEW"}, {IDC_MODIFY, "IDS_PTS_MODIFY"}, {IDC_DELETE, "IDS_PTS_DELETE"},
        {IDC_START, "IDS_PTS_START"}, {IDC_AUTORUN, "IDS_PTS_AUTOSTART"},
    };
    for (const auto& control : controls) {
        if (hFont)
            SendMessageA(Item(control.id), WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);
        SetDlgItemTextW(Hwnd(), control.id, GetText(control.key).c_str());
    }
    // The column heads and cells are language texts too: the template's face may not have their letters.
    if (hFont)
        SendMessageA(Item(IDC_SOURCE_LIST), WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);
}

void CKassimoDlg::InsertColumns()
{
    for (int column = 0; column < 5; ++column) {
        std::wstring heading = GetText(LIST_COLUMNS[column].key);
        if (column == 0)
            heading += L"(DVR/NVR)";
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        lvc.fmt = LVCFMT_LEFT;
        lvc.cx = LIST_COLUMNS[column].width;
        lvc.pszText = &heading[0];
        lvc.iSubItem = column;
        SendMessageW(m_hList, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&lvc));
        if (column == 0)
            FitStatusColumn(GetString(LIST_COLUMNS[column].key) + "(DVR/NVR)");
    }
    // Label tips show a status longer than its column whole when the pointer
    // rests on it; info tips show a row's status wherever the pointer is on the row.
    const DWORD dwStyles = LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_INFOTIP;
    SendMessageA(m_hList, LVM_SETEXTENDEDLISTVIEWSTYLE, dwStyles, dwStyles);
    FitStatusColumnToKnownTexts();
}

void CKassimoDlg::AddRow(int nRow, const SOURCE_ROW_TEXT& row)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = nRow;
    item.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(m_hList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    ShowRowTexts(nRow, row);
}

void CKassimoDlg::ShowRowTexts(int nRow, const SOURCE_ROW_TEXT& row)
{
    SetCell(nRow, 1, WideFromAnsi(row.strSource));
    SetCell(nRow, 2, WideFromAnsi(row.strPosIndex));
    SetCell(nRow, 3, WideFromAnsi(row.strPort));
    SetCell(nRow, 4, WideFromAnsi(row.strParameter));
}

void CKassimoDlg::SetCell(int nRow, int nColumn, const std::wstring& text)
{
    std::wstring copy = text;
    LVITEMW item = {};
    item.iSubItem = nColumn;
    item.pszText = &copy[0];
    SendMessageW(m_hList, LVM_SETITEMTEXTW, static_cast<WPARAM>(nRow), reinterpret_cast<LPARAM>(&item));
}

int CKassimoDlg::FirstSelectedRow() const
{
    return static_cast<int>(SendMessageA(m_hList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

INT_PTR CKassimoDlg::OnListCell(WPARAM wParam)
{
    LIST_CELL_UPDATE update;
    if (m_Engine.TakeListCell(static_cast<int>(wParam), update) && update.nRow < m_Engine.SourceCount()) {
        SetCell(update.nRow, update.nColumn, WideFromUtf8(update.strText));
        if (update.nColumn == 0) {
            FitStatusColumn(update.strText);
            UpdateTrayTip();
        }
    }
    return TRUE;
}

INT_PTR CKassimoDlg::OnSysCommand(WPARAM wParam)
{
    if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(m_pLanguage);
        about.DoModal(Hwnd());
        return TRUE;
    }
    // The close box, Alt+F4 and the system menu's Close: a person at the window.
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        OnUserClose();
        return TRUE;
    }
    return FALSE;
}

void CKassimoDlg::OnUserClose()
{
    if (!m_Engine.IsRunning()) {
        EndDialog(IDCANCEL);
        return;
    }
    // Closing the window to tidy the desktop must not stop every till: keeping
    // capture is the default answer, and it hides the window in the tray.
    m_bCloseRequested = false;
    m_bAskingToClose = true;
    const int answer =
        CautionBox(GetString("IDS_PTS_CLOSE_WHILE_CAPTURING"), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    m_bAskingToClose = false;
    if (!Hwnd() || m_bCloseRequested)
        return;  // closed by another program while the question was open
    if (answer == IDYES)
        EndDialog(IDCANCEL);
    else
        GoToTray();
}

bool CKassimoDlg::OposExists() const
{
    return g_pApp ? g_pApp->m_bOposExists : m_bOposExistsHere;
}

void CKassimoDlg::SetOposExists(bool bExists)
{
    if (g_pApp)
        g_pApp->m_bOposExists = bExists;
    else
        m_bOposExistsHere = bExists;
}

bool CKassimoDlg::IsInfogenesisLoaded() const
{
    return g_pApp && g_pApp->m_hInfogenesisLib;
}

SOURCE_LIST CKassimoDlg::Records()
{
    SOURCE_LIST records;
    for (int i = 0; i < m_Engine.SourceCount(); ++i)
        records.push_back(&m_Engine.Source(i));
    return records;
}

void CKassimoDlg::SetUpSourceDialog(int nMode, int nKind, int nIndex)
{
    m_ReadFileSetting.m_nMode = nMode;
    m_ReadFileSetting.m_nMonitorType = nKind;
    m_ReadFileSetting.m_nEditIndex = nIndex;
    m_ReadFileSetting.m_Records = Records();
    m_ReadFileSetting.m_pEditRecord = nMode == EDIT_MODE_MODIFY ? &m_Engine.Source(nIndex) : nullptr;
}

void CKassimoDlg::TakeOverNetworkValues()
{
    m_ReadFileSetting.m_nInternetType = m_InternetSettingDlg.m_nInternetType;
    m_ReadFileSetting.m_strInternetIP = m_InternetSettingDlg.m_strInternetIP;
    m_ReadFileSetting.m_nInternetPort = static_cast<int>(m_InternetSettingDlg.m_nInternetPort);
}

bool CKassimoDlg::RunInfogenesisDialog(const POS_SETTING_INFO* pRecord)
{
    CInfoGenesisDlg dialog(m_pLanguage, m_bRightToLeft);
    if (pRecord) {
        dialog.m_strServerIP = pRecord->infogenesis.szIP;
        dialog.m_nSendPort = static_cast<unsigned>(pRecord->infogenesis.nSendPort);
        dialog.m_nRecvPort = static_cast<unsigned>(pRecord->infogenesis.nRecvPort);
        dialog.m_strTerminalIDs = pRecord->infogenesis.szTerminalIDs;
    }
    if (dialog.DoModal(Hwnd()) != IDOK)
        return false;
    INFOGENESIS_SETTING& info = m_ReadFileSetting.m_Infogenesis;
    info = INFOGENESIS_SETTING();
    // The boxes take no more than the fields hold, so nothing is cut here.
    CopyToRecordField(info.szIP, dialog.m_strServerIP);
    CopyToRecordField(info.szTerminalIDs, dialog.m_strTerminalIDs);
    info.nSendPort = static_cast<int>(dialog.m_nSendPort);
    info.nRecvPort = static_cast<int>(dialog.m_nRecvPort);
    return true;
}

void CKassimoDlg::WriteOposSettingsFile()
{
    CIniProfile profile(OposSettingsPath());
    WriteOposSettings(profile, m_strOposIP, m_nOposPort, m_strOposName);
}

void CKassimoDlg::ShowRow(int nRow, const POS_SETTING_INFO& record)
{
    ShowRowTexts(nRow, EditedRowText(record, m_bRightToLeft));
}

void CKassimoDlg::OnNew()
{
    if (m_Engine.m_bRunning)
        return;
    // Every per-source table has MAX_SOURCES entries: say so before any dialog is filled in.
    if (m_Engine.SourceCount() >= MAX_SOURCES) {
        LanguageMessageBox(Hwnd(), GetText("IDS_PTS_WARNING_MAX_SOURCES"), m_bRightToLeft);
        return;
    }
    CMonitorType chooser(m_pLanguage, m_bRightToLeft, OposExists(), IsInfogenesisLoaded());
    if (chooser.DoModal(Hwnd()) != IDOK)
        return;
    const int nKind = chooser.m_nChosenKind;
    const int nCount = m_Engine.SourceCount();
    SetUpSourceDialog(EDIT_MODE_NEW, nKind, nCount);

    if (nKind == KIND_NETWORK || nKind == KIND_OPOS) {
        m_InternetSettingDlg.m_nMode = EDIT_MODE_NEW;
        m_InternetSettingDlg.m_nEditIndex = nCount;
        m_InternetSettingDlg.m_nInternetType = nKind == KIND_OPOS ? 2 : 0;
        m_InternetSettingDlg.m_strInternetIP = nKind == KIND_OPOS ? "127.0.0.1" : "192.168.0.100";
        m_InternetSettingDlg.m_nInternetPort = 5111;
        m_InternetSettingDlg.m_Records = Records();
        if (m_InternetSettingDlg.DoModal(Hwnd()) != IDOK)
            return;
        TakeOverNetworkValues();
        if (nKind == KIND_OPOS) {
            m_strOposIP = m_InternetSettingDlg.m_strInternetIP;
            m_nOposPort = static_cast<int>(m_InternetSettingDlg.m_nInternetPort);
            m_strOposName = m_InternetSettingDlg.m_strName;
        }
    } else if (nKind == KIND_INFOGENESIS) {
        if (!RunInfogenesisDialog(nullptr))
            return;
    }
    if (m_ReadFileSetting.DoModal(Hwnd()) != IDOK)
        return;
    std::unique_ptr<POS_SETTING_INFO> pRecord = m_ReadFileSetting.TakeNewRecord();
    if (!pRecord)
        return;
    if (nKind == KIND_OPOS) {
        WriteOposSettingsFile();
        SetOposExists(true);
    }
    const POS_SETTING_INFO& record = *pRecord;
    m_Engine.AddSource(std::move(pRecord));
    AddRow(nCount, EditedRowText(record, m_bRightToLeft));
    m_Engine.SaveSettings(SettingsPath());
}

bool CKassimoDlg::ModifySource(int nIndex)
{
    if (nIndex < 0 || nIndex >= m_Engine.SourceCount())
        return false;
    POS_SETTING_INFO& record = m_Engine.Source(nIndex);
    const int nKind = record.nMonitorType;
    SetUpSourceDialog(EDIT_MODE_MODIFY, nKind, nIndex);
    if (nKind == KIND_NETWORK || nKind == KIND_OPOS) {
        m_InternetSettingDlg.m_nMode = EDIT_MODE_MODIFY;
        m_InternetSettingDlg.m_nEditIndex = nIndex;
        m_InternetSettingDlg.m_nInternetType = record.nInternetType;
        m_InternetSettingDlg.m_strInternetIP = record.strInternetIP;
        m_InternetSettingDlg.m_nInternetPort = static_cast<unsigned>(record.nInternetPort);
        m_InternetSettingDlg.m_Records = Records();
        const INT_PTR result = m_InternetSettingDlg.DoModal(Hwnd());
        TakeOverNetworkValues();
        if (result != IDOK)
            return true;
    } else if (nKind != KIND_FILE) {
        if (!RunInfogenesisDialog(&record))
            return true;
    }
    if (m_ReadFileSetting.DoModal(Hwnd()) != IDOK)
        return true;
    m_Engine.SaveSettings(SettingsPath());
    ShowRow(nIndex, record);
    if (record.nMonitorType == KIND_OPOS) {
        // The OPOS side must connect where the program now listens.
        m_strOposIP = record.strInternetIP;
        m_nOposPort = record.nInternetPort;
        m_strOposName = m_InternetSettingDlg.m_strName;
        WriteOposSettingsFile();
    }
    return true;
}

void CKassimoDlg::OnModify()
{
    const int nRow = FirstSelectedRow();
    if (nRow < 0) {
        NoticeBox(GetString("IDS_PTS_SELECT_ONE_ITEM"), MB_OK | MB_ICONINFORMATION);
        return;
    }
    ModifySource(nRow);
}

void CKassimoDlg::OnDelete()
{
    const int nRow = FirstSelectedRow();
    if (nRow < 0) {
        NoticeBox(GetString("IDS_PTS_SELECT_ONE_ITEM"), MB_OK | MB_ICONINFORMATION);
        return;
    }
    const POS_SETTING_INFO& record = m_Engine.Source(nRow);
    const std::string question =
        FillText(GetString("IDS_PTS_CONFIRM_DELETE"),
                 {Utf8FromAnsi(record.strPosIndex), Utf8FromAnsi(EditedRowText(record, m_bRightToLeft).strSource)});
    if (NoticeBox(question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    m_Engine.DeleteSource(nRow);
    SendMessageA(m_hList, LVM_DELETEITEM, static_cast<WPARAM>(nRow), 0);
    bool bOpos = false;
    for (int i = 0; i < m_Engine.SourceCount(); ++i)
        bOpos = bOpos || m_Engine.Source(i).nMonitorType == KIND_OPOS;
    SetOposExists(bOpos);
    // The sections move up one; the last one is no source any more.
    m_Engine.SaveSettings(SettingsPath(), true);
    UpdateTrayTip();
}

void CKassimoDlg::OnStartStop()
{
    // The running state decides, never the button's text: with a missing
    // language file the Start and Stop texts are both empty.
    if (m_Engine.IsRunning()) {
        StopSequence();
    } else if (m_Engine.SourceCount() == 0) {
        NoticeBox(GetString("IDS_PTS_NOTHING_TO_START"), MB_OK | MB_ICONINFORMATION);
    } else {
        StartSequence();
    }
}

void CKassimoDlg::EnableEditing(bool bEnable)
{
    for (int id : {IDC_NEW, IDC_MODIFY, IDC_DELETE})
        EnableWindow(Item(id), bEnable ? TRUE : FALSE);
}

void CKassimoDlg::StartSequence()
{
    if (m_Engine.NeedsRestart()) {
        if (CautionBox(GetString("IDS_NEED_CLOSE_AP"), MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
            return;
        PostMessageA(Hwnd(), WM_CLOSE, 0, 0);
    }
    m_Engine.m_bStoppedByUser = 0;
    EnableEditing(false);
    m_Engine.Start();
    SetDlgItemTextW(Hwnd(), IDC_START, GetText("IDS_PTS_STOP").c_str());
    UpdateTrayTip();
}

void CKassimoDlg::StopSequence()
{
    EnableWindow(Item(IDC_START), FALSE);
    m_Engine.Stop();
    m_Engine.m_bStoppedByUser = 1;
    EnableEditing(true);
    EnableWindow(Item(IDC_START), TRUE);
    SetDlgItemTextW(Hwnd(), IDC_START, GetText("IDS_PTS_START").c_str());
    // Status texts still on their way from the workers must not refill the cleared column.
    m_Engine.ClearListCells();
    for (int row = 0; row < m_Engine.SourceCount(); ++row)
        SetCell(row, 0, std::wstring());
    UpdateTrayTip();
}

void CKassimoDlg::StopCaptureForExit()
{
    if (!m_Engine.m_bRunning)
        return;
    m_Engine.Stop();
    Trace("Close_DVR_Client();\n");
}
