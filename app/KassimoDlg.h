#pragma once
// The main window: the source list with its live status, Start/Stop, Delete
// and the auto-run box. It owns the capture engine and only displays what
// the engine reports.
#include "app/CaptureEngine.h"
#include "app/DialogBase.h"
#include "capture/WinHandle.h"
#include "config/InternetSettingDlg.h"
#include "config/ReadFileSetting.h"

#include <string>

class CLanguage;

constexpr UINT WM_CAUTION_BOX = WM_APP + 1;

class CKassimoDlg : public CDialogBase, public CEngineCallback {
public:
    CKassimoDlg(CLanguage* pLanguage, std::string strDataFolder, bool bMonitor, bool bRightToLeft);
    ~CKassimoDlg() override;

    CCaptureEngine& Engine() { return m_Engine; }
    std::string SettingsPath() const { return m_strDataFolder + "FileMapPOS.ini"; }

    // The engine's callbacks; OnListCellPosted and CautionBox(text) come from any thread.
    void OnListCellPosted(int slot) override;
    void CautionBox(const std::string& text) override;
    std::string GetString(const char* key) override;

    // A message box owned by the main window with the caution caption; returns the button pressed.
    virtual int CautionBox(const std::string& text, UINT nFlags);

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
    void AddRow(int nRow, const SOURCE_ROW_TEXT& row);
    void SetCell(int nRow, int nColumn, const std::string& text);
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
    INT_PTR OnCautionRequest(LPARAM lParam);
    INT_PTR OnSysCommand(WPARAM wParam);

    CLanguage* m_pLanguage;
    std::string m_strDataFolder;
    bool m_bMonitor;
    bool m_bRightToLeft;
    DWORD m_dwUiThreadId;
    HICON m_hIcon = nullptr;
    HWND m_hList = nullptr;
    // Set while a stop runs or after the window went: a worker waiting for the user to
    // close a warning must not hold up the stop.
    CHandle m_hStopping;
    CCaptureEngine m_Engine;
    bool m_bOposExistsHere = false;  // used when no application object runs (tests)
};
