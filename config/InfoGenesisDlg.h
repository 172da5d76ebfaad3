#pragma once
// The Infogenesis server's address, its two ports and the terminal ids. The
// dialog keeps its template texts: no language texts, font or mirroring.
#include "ui/DialogBase.h"

#include <string>

constexpr unsigned INFOGENESIS_PORT_MIN = 1;
constexpr unsigned INFOGENESIS_PORT_MAX = 65535;

class CInfoGenesisDlg : public CDialogBase {
public:
    CInfoGenesisDlg();

    std::string m_strServerIP = "127.0.0.1";
    unsigned m_nSendPort = 0;
    unsigned m_nRecvPort = 0;
    std::string m_strTerminalIDs = "999";

protected:
    BOOL OnInitDialog() override;

private:
    void OnOK();
};
