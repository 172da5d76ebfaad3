#pragma once
// The main window: the source list with its live status, Start/Stop, Delete
// and the auto-run box. It owns the capture engine and only displays what
// the engine reports.
#include "app/AutoRun_win.h"
#include "app/CaptureEngine.h"
#include "app/SourceDetailsPane.h"
#include "ui/DialogBase.h"
#include "app/TrayIcon.h"
#include "base/WinHandle.h"
#include "config/InternetSettingDlg.h"
#include "config/ReadFileSetting.h"

#include <atomic>
#include <mutex>
#include <string>

class CLanguage;

constexpr UINT WM_CAUTION_BOX = WM_APP + 1;
constexpr UINT WM_INFOGENESIS_RETRY = WM_APP + 2;  // wParam: connection object

class CKassimoDlg : public CDialogBase, public CEngineCallback {
public:
    CKassimoDlg(CLanguage* pLanguage, std::string strDataFolder, bool bMonitor, bool bRightToLeft);
    ~CKassimoDlg() override;

    CCaptureEngine& Engine() { return m_Engine; }
    CTrayIcon& TrayIcon() { return m_TrayIcon; }
    CAutoRunEntry& AutoRun() { return m_AutoRun; }
    std::string SettingsPath() const { return m_strDataFolder + "FileMapPOS.ini"; }

    // The engine's callbacks; OnListCellPosted and CautionBox(source, text) come from any thread.
    // Language texts travel through the engine in UTF-8, so that a language
    // the ANSI code page cannot spell keeps its letters up to the window.
    void OnListCellPosted(int slot) override;
    void CautionBox(int nSource, const std::string& text) override;
    std::string GetString(const char* key) override;
    // A language text as the file has it, for the window's own texts.
    std::wstring GetText(const char* key);
    void OnInfogenesisStatus(int nSource, int nStatus) override;
    void ArmInfogenesisRetry(int nObject) override;

    // A message box owned by the main window with the caution caption; returns the button pressed. Text in UTF-8.
    virtual int CautionBox(const std::string& text, UINT nFlags);
    // A message box owned by the main window with the program's name as caption. Text in UTF-8.
    virtual int NoticeBox(const std::string& text, UINT nFlags);

    bool ModifySource(int nIndex);
    void OnStartStop();
    std::string OposSettingsPath() const { return m_strDataFolder + "OrvaneOPosSetting.ini"; }

    // The source dialog and the network dialog, reused by every New and Modify.
    CReadFileSetting m_ReadFileSetting;
    CInternetSettingDlg m_InternetSettingDlg;
    // The OPOS values the settings file gets; from the network dialog of an OPOS source.
    std::string m_strOposIP;
    int m_nOposPort = 0;
    std::string m_strOposName;

protected:
    BOOL OnInitDialog() override;
    // Only one OPOS source may exist; the flag lives in the application object.
    virtual bool OposExists() const;
    virtual void SetOposExists(bool bExists);
    virtual bool IsInfogenesisLoaded() const;

private:
    void SetTexts();
    void InsertColumns();
    // Row texts come from the settings file, in the ANSI code page.
    void AddRow(int nRow, const SOURCE_ROW_TEXT& row);
    void ShowRowTexts(int nRow, const SOURCE_ROW_TEXT& row);
    void SetCell(int nRow, int nColumn, const std::wstring& text);
    int FirstSelectedRow() const;
    void StartSequence();
    void StopSequence();
    void StopCaptureForExit();
    void EnableEditing(bool bEnable);
    void OnNew();
    void OnModify();
    SOURCE_LIST Records();
    void SetUpSourceDialog(int nMode, int nKind, int nIndex);
    void TakeOverNetworkValues();
    bool RunInfogenesisDialog(const POS_SETTING_INFO* pRecord);
    void WriteOposSettingsFile();
    void ShowRow(int nRow, const POS_SETTING_INFO& record);
    void OnDelete();
    INT_PTR OnListCell(WPARAM wParam);
    INT_PTR OnCautionRequest(WPARAM wParam);
    INT_PTR OnSysCommand(WPARAM wParam);
    void OnUserClose();
    std::string WrongPasswordText(int nSource, const std::string& text);
    // The details view of the selected row (KassimoDlgDetails_win.cpp).
    void InitDetails();
    DETAILS_SOURCE SelectedSource();
    // Window size and layout (KassimoDlgLayout_win.cpp).
    void InitLayout();
    void LayOut(int cx, int cy);
    void RestoreSavedSize();
    void SaveSizeIfChanged();
    void FitStatusColumn(const std::string& text);
    void FitStatusColumnToKnownTexts();
    LRESULT OnListInfoTip(NMHDR* pHeader);
    LRESULT OnListInfoTipW(NMHDR* pHeader);
    // Tray and auto-run (KassimoDlgTray_win.cpp).
    void InitTray();
    void GoToTray();
    void RestoreFromTray();
    INT_PTR OnTrayNotify(LPARAM lParam);
    void UpdateTrayTip();
    void OnAutoRun();
    INT_PTR OnTimer(WPARAM wParam);

    CLanguage* m_pLanguage;
    std::string m_strDataFolder;
    bool m_bMonitor;
    bool m_bRightToLeft;
    DWORD m_dwUiThreadId;
    HICON m_hIcon = nullptr;
    HWND m_hList = nullptr;
    // A warning per source at most: set by the worker that raises it, cleared
    // by the user-interface thread when its box is closed. m_WarningMutex guards m_strWarning.
    std::atomic<bool> m_bWarningOpen[MAX_SOURCES] = {};
    std::mutex m_WarningMutex;
    std::string m_strWarning[MAX_SOURCES];
    CTrayIcon m_TrayIcon;
    CAutoRunEntry m_AutoRun;
    // Set while the window is to stay hidden in the tray: the modal loop would show it otherwise.
    bool m_bKeepHidden = false;
    CCaptureEngine m_Engine;
    bool m_bOposExistsHere = false;  // used when no application object runs (tests)
    // The close question is open, and a close was posted while it was.
    bool m_bAskingToClose = false;
    bool m_bCloseRequested = false;
    // The client size the template gives and each resized control's place in it.
    SIZE m_MinWindow = {};
    SIZE m_TemplateClient = {};
    RECT m_ListRect = {}, m_StartRect = {}, m_AutoRunRect = {};
    SIZE m_SavedWindow = {};
    CSourceDetailsPane m_Details;
    RECT m_DetailsRect = {};
};
