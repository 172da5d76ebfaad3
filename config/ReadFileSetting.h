#pragma once
// The source dialog: printer (serial or TCP port), POS index, the
// "Sequential Type" flag and, for a file source, the file to watch. Its OK
// applies the editing rules and writes the record.
#include "config/ComPortSetting.h"
#include "config/EditingRules.h"
#include "config/SettingDialog.h"
#include "config/TcpPortSetting.h"

#include <functional>
#include <memory>
#include <optional>

class CReadFileSetting : public CSettingDialog {
public:
    CReadFileSetting(CLanguage* pLanguage, bool bRightToLeft);

    // Set up before every showing.
    int m_nMode = EDIT_MODE_NEW;
    int m_nMonitorType = KIND_FILE;
    int m_nEditIndex = -1;
    SOURCE_LIST m_Records;                        // every configured source, in list order
    POS_SETTING_INFO* m_pEditRecord = nullptr;    // mode 2: the record OK rewrites in place
    int m_nInternetType = -1;
    std::string m_strInternetIP;
    int m_nInternetPort = 0;
    INFOGENESIS_SETTING m_Infogenesis;

    // Mode 1: the record OK made, for the owner to append.
    std::unique_ptr<POS_SETTING_INFO> TakeNewRecord() { return std::move(m_pNewRecord); }

    // Working values.
    std::optional<PRINTER_TYPE> m_PrinterType;
    std::string m_strFilePath;
    std::string m_strPosIndex;
    std::string m_strPort;
    std::string m_strPassword;
    int m_nReceiptType = 0;
    std::string m_strBaudRate, m_strDataBits, m_strParity, m_strStopBits;

    // Picks the file for the browse button; the system's open-file dialog unless replaced.
    std::function<bool(HWND hOwner, std::string& path)> m_PickFile;

    CCOMPortSetting m_ComPortDlg;
    CTCPPortSetting m_TcpPortDlg;

protected:
    BOOL OnInitDialog() override;

private:
    void InitNew();
    void InitModify();
    void FillLists();
    std::optional<PRINTER_TYPE> SelectedPrinterType() const;
    void SelectPrinterType(PRINTER_TYPE eType);
    void ApplyPrinterType(std::optional<PRINTER_TYPE> type);
    void SetDefaultLineSettings();
    void SetPortCaption(const std::string& caption);
    void OnPortButton();
    void OnBrowse();
    void OnOK();
    bool PickFile(std::string& path);

    std::unique_ptr<POS_SETTING_INFO> m_pNewRecord;
};
