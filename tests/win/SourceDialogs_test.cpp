// New, Modify and double-click in the main window, with the chooser and every
// setting dialog shown for real in this process and driven as a user drives
// them: list items selected, boxes typed into, buttons clicked through their
// own notifications, message boxes read and closed.
#include "app/KassimoDlg.h"
#include "base/IniProfile.h"
#include "lang/Language.h"
#include "res/resource.h"
#include "tests/support/DialogDriver.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WindowFixture.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <deque>

namespace {

const unsigned short ENGLISH = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const unsigned short ARABIC = MAKELANGID(LANG_ARABIC, SUBLANG_ARABIC_SAUDI_ARABIA);

class CEditDlg : public CKassimoDlg {
public:
    using CKassimoDlg::CKassimoDlg;
    bool bInfogenesis = true;

protected:
    bool IsInfogenesisLoaded() const override { return bInfogenesis; }
};

bool IsMirrored(HWND hWnd) { return (GetWindowLongPtrA(hWnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0; }

struct SourceDialogs : CWindowFixture {
    CDialogDriver driver;

    SourceDialogs() : CWindowFixture(LANGUAGE_INPUTS{ENGLISH, ""}) {}
    std::string Ini(const std::string& section, const std::string& key)
    {
        CIniProfile profile(SettingsPath());
        return profile.GetString(section, key, "<missing>", 512);
    }
    bool SettingsFileExists() { return GetFileAttributesA(SettingsPath().c_str()) != INVALID_FILE_ATTRIBUTES; }
    void WriteSettings(const std::string& sections, int count)
    {
        WriteWholeFile(SettingsPath(), "[Main]\r\nFile Number=" + std::to_string(count) + "\r\n" + sections);
    }
    static std::string SerialSection(int n, int kind, const std::string& port, const std::string& path)
    {
        return "[Setup" + std::to_string(n) + "]\r\nMonitor Type=" + std::to_string(kind) + "\r\nFile Path=" + path +
               "\r\nPOS Index=POS" + std::to_string(n) + "\r\nPrinter Type=Serial\r\nPort=" + port +
               "\r\nPassword=NULL\r\nBaudRate=9600\r\nDataBits=8\r\nParity=None\r\nStopBits=1.0\r\nReceipt Type=0\r\n";
    }
    static std::string TcpSection(int n, int kind, const std::string& port, int internetType, const std::string& ip,
                                  int internetPort)
    {
        return "[Setup" + std::to_string(n) + "]\r\nMonitor Type=" + std::to_string(kind) +
               "\r\nInternet Type=" + std::to_string(internetType) + "\r\nInternet IP=" + ip +
               "\r\nInternet Port=" + std::to_string(internetPort) + "\r\nPOS Index=POS" + std::to_string(n) +
               "\r\nPrinter Type=TCP\r\nPort=" + port + "\r\nPassword=pw\r\nReceipt Type=0\r\n";
    }

    // Waits until the dialog on top has this caption and this control.
    CDialogDriver& WaitFor(const std::string& caption, int nId)
    {
        return driver.Then("wait for '" + caption + "'", [caption, nId](HWND h) {
            return WindowTextOf(h) == caption && GetDlgItem(h, nId) != nullptr;
        });
    }
    CDialogDriver& WaitForChooser() { return WaitFor(Text("IDS_CHOOSE_MONITOR_TYPE"), IDC_KIND_GROUP); }
    CDialogDriver& WaitForNetwork() { return WaitFor(Text("IDS_NETWORK_SETTING_DLG_NAME"), IDC_CLIENT_IP_LABEL); }
    CDialogDriver& WaitForSource() { return WaitFor(Text("IDS_PTS_CONFIG"), IDC_PORT_BUTTON); }
    CDialogDriver& WaitForComPort() { return WaitFor(Text("IDS_PTS_COMPORT_DLG_NAME"), IDC_STOP_BITS_LABEL); }
    CDialogDriver& WaitForTcpPort() { return WaitFor(Text("IDS_PTS_TCPPORT_DLG_NAME"), IDC_DEVICE_PORT_LABEL); }
    CDialogDriver& WaitForInfogenesis() { return WaitFor("Infogenesis", IDC_INFO_EXAMPLE); }

    // Chooses a kind by its item data, not by its position.
    void ChooseKind(int kind)
    {
        WaitForChooser();
        driver.Then("choose kind " + std::to_string(kind), [kind](HWND h) {
            for (int i = 0; i < ItemCount(h, IDC_KIND_LIST); ++i)
                if (SendDlgItemMessageA(h, IDC_KIND_LIST, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == kind) {
                    SelectListItem(h, IDC_KIND_LIST, i);
                    PostClick(h, IDOK);
                    return true;
                }
            return false;
        });
    }
    // The TCP printer with a port and a password, from the source dialog.
    void ChooseTcpPrinter(const std::string& port, const std::string& password)
    {
        driver.Select(IDC_PRINTER_TYPE, 1).Click(IDC_PORT_BUTTON);
        WaitForTcpPort().Type(IDC_PORT_BOX, port).Type(IDC_PASSWORD_BOX, password).Click(IDOK);
        WaitForSource();
    }
    void Run(CKassimoDlg& dialog, WORD command)
    {
        driver.Run([&] { SendMessageA(dialog.Hwnd(), WM_COMMAND, command, 0); });
        EXPECT_TRUE(driver.AllDone()) << ::testing::PrintToString(driver.m_Failures);
    }
    void DoubleClick(CKassimoDlg& dialog, int row)
    {
        driver.Run([&] {
            NMITEMACTIVATE activate = {};
            activate.hdr.hwndFrom = dialog.Item(IDC_SOURCE_LIST);
            activate.hdr.idFrom = IDC_SOURCE_LIST;
            activate.hdr.code = NM_DBLCLK;
            activate.iItem = row;
            SendMessageA(dialog.Hwnd(), WM_NOTIFY, IDC_SOURCE_LIST, reinterpret_cast<LPARAM>(&activate));
        });
        EXPECT_TRUE(driver.AllDone()) << ::testing::PrintToString(driver.m_Failures);
    }
    void Check(const std::string& name, std::function<void(HWND)> check) { driver.Do(name, std::move(check)); }
};

}  // namespace

TEST_F(SourceDialogs, NewFileSourceWithSerialPrinterEndToEnd)
{
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    const std::string path = folder.File("receipts.txt");

    WaitForChooser();
    Check("chooser offers every kind in order, the file kind selected", [&](HWND h) {
        ASSERT_EQ(4, ItemCount(h, IDC_KIND_LIST));
        EXPECT_EQ(Text("IDS_MONITOR_FILE"), ListItemText(h, IDC_KIND_LIST, 0));
        EXPECT_EQ(Text("IDS_MONITOR_INTERNET"), ListItemText(h, IDC_KIND_LIST, 1));
        EXPECT_EQ(Text("IDS_MONITOR_OPOS"), ListItemText(h, IDC_KIND_LIST, 2));
        EXPECT_EQ("Infogenesis", ListItemText(h, IDC_KIND_LIST, 3));
        EXPECT_EQ(0, SelectedItem(h, IDC_KIND_LIST));
        EXPECT_EQ(Text("IDS_MONITOR_TYPE"), ControlText(h, IDC_KIND_GROUP));
    });
    ChooseKind(KIND_FILE);
    WaitForSource();
    Check("a new file source's dialog", [&](HWND h) {
        EXPECT_EQ(Text("IDS_PTS_PRINTER_SERIAL"), SelectedText(h, IDC_PRINTER_TYPE));
        EXPECT_EQ(-1, SelectedItem(h, IDC_POS_INDEX));
        EXPECT_EQ(-1, SelectedItem(h, IDC_COM_PORT));
        EXPECT_EQ(16, ItemCount(h, IDC_POS_INDEX));
        EXPECT_EQ(36, ItemCount(h, IDC_COM_PORT));
        EXPECT_EQ("9600,None,8,1", ControlText(h, IDC_PORT_BUTTON));
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(h, IDC_SEQUENTIAL)));
        EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(h, IDC_SEQUENTIAL));
        EXPECT_EQ(Text("IDS_PTS_ADD"), ControlText(h, IDOK));
    });
    driver.Type(IDC_FILE_PATH, path).Select(IDC_POS_INDEX, 3).Select(IDC_COM_PORT, 6);
    driver.Do("tick Sequential Type", [](HWND h) { SendMessageA(GetDlgItem(h, IDC_SEQUENTIAL), BM_CLICK, 0, 0); });
    driver.Click(IDC_PORT_BUTTON);
    WaitForComPort();
    Check("the serial port dialog opens with the defaults", [&](HWND h) {
        EXPECT_EQ("9600", SelectedText(h, IDC_BAUD_RATE));
        EXPECT_EQ("8", SelectedText(h, IDC_DATA_BITS));
        EXPECT_EQ("None", SelectedText(h, IDC_PARITY));
        EXPECT_EQ("1.0", SelectedText(h, IDC_STOP_BITS));
        EXPECT_EQ(8, ItemCount(h, IDC_BAUD_RATE));
        EXPECT_EQ(5, ItemCount(h, IDC_PARITY));
    });
    driver.Select(IDC_BAUD_RATE, 4).Select(IDC_DATA_BITS, 2).Select(IDC_PARITY, 2).Select(IDC_STOP_BITS, 2).Click(IDOK);
    WaitForSource();
    Check("confirmed line settings in the caption", [](HWND h) {
        EXPECT_EQ("19200,7,Even,2.0", ControlText(h, IDC_PORT_BUTTON));
    });
    driver.Click(IDOK);
    Run(dialog, IDC_NEW);

    HWND hList = dialog.Item(IDC_SOURCE_LIST);
    ASSERT_EQ(1, ListView_GetItemCount(hList));
    EXPECT_EQ("", ListCell(hList, 0, 0));
    EXPECT_EQ(path, ListCell(hList, 0, 1));
    EXPECT_EQ("POS4", ListCell(hList, 0, 2));
    EXPECT_EQ("COM7", ListCell(hList, 0, 3));
    EXPECT_EQ("19200,7,Even,2.0", ListCell(hList, 0, 4));
    EXPECT_EQ("1", Ini("Main", "File Number"));
    EXPECT_EQ("0", Ini("Setup1", "Monitor Type"));
    EXPECT_EQ(path, Ini("Setup1", "File Path"));
    EXPECT_EQ("POS4", Ini("Setup1", "POS Index"));
    EXPECT_EQ("Serial", Ini("Setup1", "Printer Type"));
    EXPECT_EQ("COM7", Ini("Setup1", "Port"));
    EXPECT_EQ("NULL", Ini("Setup1", "Password"));
    EXPECT_EQ("19200", Ini("Setup1", "BaudRate"));
    EXPECT_EQ("7", Ini("Setup1", "DataBits"));
    EXPECT_EQ("Even", Ini("Setup1", "Parity"));
    EXPECT_EQ("2.0", Ini("Setup1", "StopBits"));
    EXPECT_EQ("1", Ini("Setup1", "Receipt Type"));
    EXPECT_EQ(0, dialog.Engine().m_StartKind[0]);
    EXPECT_EQ(1, dialog.Engine().m_StartReceiptType[0]);
}

TEST_F(SourceDialogs, NewNetworkSourceWithTcpPrinterEndToEnd)
{
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ChooseKind(KIND_NETWORK);
    WaitForNetwork();
    Check("the network dialog of a new network source", [&](HWND h) {
        EXPECT_EQ("TCP", ControlText(h, IDC_TYPE_TEXT));
        EXPECT_EQ("192.168.0.100", ControlText(h, IDC_CLIENT_IP));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(h, IDC_CLIENT_IP)));
        EXPECT_EQ("5111", ControlText(h, IDC_PORT_BOX));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(h, IDC_NAME_BOX)));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(h, IDC_KIND_LIST)));
        EXPECT_EQ(Text("IDS_PTS_PORT"), ControlText(h, IDC_PORT_LABEL));
    });
    driver.Type(IDC_CLIENT_IP, "127.0.0.1").Type(IDC_PORT_BOX, "5200").Click(IDOK);
    WaitForSource();
    Check("a network source has no file and no Sequential Type", [](HWND h) {
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(h, IDC_SEQUENTIAL)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(h, IDC_FILE_PATH)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(h, IDC_BROWSE)));
    });
    driver.Select(IDC_POS_INDEX, 1).Select(IDC_PRINTER_TYPE, 1);
    Check("the TCP printer chosen", [&](HWND h) {
        EXPECT_EQ(Text("IDS_PTS_TCPPORT_SETTING"), ControlText(h, IDC_PORT_BUTTON));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(h, IDC_COM_PORT)));
    });
    driver.Click(IDC_PORT_BUTTON);
    WaitForTcpPort();
    Check("the TCP port dialog of a new source", [](HWND h) {
        EXPECT_EQ("4000", ControlText(h, IDC_PORT_BOX));
        EXPECT_EQ("", ControlText(h, IDC_PASSWORD_BOX));
        EXPECT_TRUE(GetWindowLongPtrA(GetDlgItem(h, IDC_PASSWORD_BOX), GWL_STYLE) & ES_PASSWORD);
    });
    driver.Type(IDC_PORT_BOX, "4600").Type(IDC_PASSWORD_BOX, "secret").Click(IDOK);
    WaitForSource();
    Check("the port in the caption", [&](HWND h) {
        EXPECT_EQ(Text("IDS_PTS_TCP_PORT") + "=4600", ControlText(h, IDC_PORT_BUTTON));
    });
    driver.Click(IDOK);
    Run(dialog, IDC_NEW);

    HWND hList = dialog.Item(IDC_SOURCE_LIST);
    ASSERT_EQ(1, ListView_GetItemCount(hList));
    EXPECT_EQ("127.0.0.1 TCP(5200)", ListCell(hList, 0, 1));
    EXPECT_EQ("POS2", ListCell(hList, 0, 2));
    EXPECT_EQ("TCP(4600)", ListCell(hList, 0, 3));
    EXPECT_EQ("", ListCell(hList, 0, 4));
    EXPECT_EQ("1", Ini("Setup1", "Monitor Type"));
    EXPECT_EQ("0", Ini("Setup1", "Internet Type"));
    EXPECT_EQ("127.0.0.1", Ini("Setup1", "Internet IP"));
    EXPECT_EQ("5200", Ini("Setup1", "Internet Port"));
    EXPECT_EQ("", Ini("Setup1", "File Path"));
    EXPECT_EQ("TCP", Ini("Setup1", "Printer Type"));
    EXPECT_EQ("TCP(4600)", Ini("Setup1", "Port"));
    EXPECT_EQ("secret", Ini("Setup1", "Password"));
    EXPECT_EQ("NULL", Ini("Setup1", "BaudRate"));
    EXPECT_EQ("NULL", Ini("Setup1", "StopBits"));
}

TEST_F(SourceDialogs, NewOposSourceWritesItsSettingsFileAndIsOfferedOnlyOnce)
{
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ChooseKind(KIND_OPOS);
    WaitForNetwork();
    Check("the OPOS client's address cannot be changed; its name can be given", [&](HWND h) {
        EXPECT_EQ(Text("IDS_MONITOR_OPOS"), ControlText(h, IDC_TYPE_TEXT));
        EXPECT_EQ("127.0.0.1", ControlText(h, IDC_CLIENT_IP));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(h, IDC_CLIENT_IP)));
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(h, IDC_NAME_BOX)));
        EXPECT_TRUE(GetWindowLongPtrA(GetDlgItem(h, IDC_NAME_BOX), GWL_STYLE) & ES_NUMBER);
        EXPECT_EQ(Text("IDS_NAME"), ControlText(h, IDC_NAME_LABEL));
    });
    driver.Type(IDC_NAME_BOX, "7").Click(IDOK);
    WaitForSource();
    driver.Select(IDC_POS_INDEX, 2);
    ChooseTcpPrinter("4700", "pw");
    driver.Click(IDOK);
    Run(dialog, IDC_NEW);

    HWND hList = dialog.Item(IDC_SOURCE_LIST);
    ASSERT_EQ(1, ListView_GetItemCount(hList));
    EXPECT_EQ("127.0.0.1 OPos(5111)", ListCell(hList, 0, 1));
    EXPECT_EQ("2", Ini("Setup1", "Monitor Type"));
    EXPECT_EQ("2", Ini("Setup1", "Internet Type"));
    CIniProfile opos(folder.File("OrvaneOPosSetting.ini"));
    EXPECT_EQ("2130706433", opos.GetString("NetWork", "IP", "", 64));
    EXPECT_EQ("5111", opos.GetString("NetWork", "Port", "", 64));
    EXPECT_EQ("7", opos.GetString("NetWork", "Name", "<missing>", 64));

    CDialogDriver second;
    second.Then("OPOS is no longer offered", [&](HWND h) {
        if (!GetDlgItem(h, IDC_KIND_GROUP))
            return false;
        EXPECT_EQ(3, ItemCount(h, IDC_KIND_LIST));
        for (int i = 0; i < ItemCount(h, IDC_KIND_LIST); ++i)
            EXPECT_NE(KIND_OPOS, SendDlgItemMessageA(h, IDC_KIND_LIST, CB_GETITEMDATA, static_cast<WPARAM>(i), 0));
        PostClick(h, IDCANCEL);
        return true;
    });
    second.Run([&] { SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_NEW, 0); });
    EXPECT_TRUE(second.AllDone()) << ::testing::PrintToString(second.m_Failures);
}

TEST_F(SourceDialogs, NewInfogenesisSourceRefusesPortsZeroAndAlwaysHasATcpPrinter)
{
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ChooseKind(KIND_INFOGENESIS);
    WaitForInfogenesis();
    Check("a new Infogenesis source starts from the defaults", [](HWND h) {
        EXPECT_EQ("127.0.0.1", ControlText(h, IDC_INFO_SERVER_IP));
        EXPECT_EQ("0", ControlText(h, IDC_INFO_SEND_PORT));
        EXPECT_EQ("0", ControlText(h, IDC_INFO_RECV_PORT));
        EXPECT_EQ("999", ControlText(h, IDC_INFO_TERMINALS));
    });
    driver.Click(IDOK).AcceptMessage();
    driver.Type(IDC_INFO_SEND_PORT, "7001").Click(IDOK).AcceptMessage();
    driver.Type(IDC_INFO_RECV_PORT, "7002").Type(IDC_INFO_TERMINALS, "111,222").Type(IDC_INFO_SERVER_IP, "").Click(IDOK);
    // An empty server address is refused with a word, and the dialog stays.
    driver.AcceptMessage();
    WaitForInfogenesis().Type(IDC_INFO_SERVER_IP, "10.0.0.7").Click(IDOK);
    WaitForSource();
    Check("the Infogenesis source's dialog", [&](HWND h) {
        EXPECT_EQ(Text("IDS_PTS_PRINTER_TCP"), SelectedText(h, IDC_PRINTER_TYPE));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(h, IDC_PRINTER_TYPE)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(h, IDC_COM_PORT)));
        EXPECT_EQ(Text("IDS_PTS_TCPPORT_SETTING"), ControlText(h, IDC_PORT_BUTTON));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(h, IDC_SEQUENTIAL)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(h, IDC_FILE_PATH)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(h, IDC_BROWSE)));
    });
    driver.Select(IDC_POS_INDEX, 4).Click(IDC_PORT_BUTTON);
    WaitForTcpPort().Type(IDC_PORT_BOX, "4800").Type(IDC_PASSWORD_BOX, "pw").Click(IDOK);
    WaitForSource().Click(IDOK);
    Run(dialog, IDC_NEW);

    const std::vector<std::string> want = {"Enter an integer between 1 and 65535.",
                                           "Enter an integer between 1 and 65535.",
                                           Text("IDS_INFO_WARNING_INPUT_SERVER_IP")};
    EXPECT_EQ(want, driver.m_Messages);
    HWND hList = dialog.Item(IDC_SOURCE_LIST);
    ASSERT_EQ(1, ListView_GetItemCount(hList));
    EXPECT_EQ("Infogenesis: 10.0.0.7, 7001, 7002, 111,222", ListCell(hList, 0, 1));
    EXPECT_EQ("TCP(4800)", ListCell(hList, 0, 3));
    EXPECT_EQ("3", Ini("Setup1", "Monitor Type"));
    EXPECT_EQ("10.0.0.7", Ini("Setup1", "Infogenesis_IP"));
    EXPECT_EQ("7001", Ini("Setup1", "Infogenesis_SendPort"));
    EXPECT_EQ("7002", Ini("Setup1", "Infogenesis_RecvPort"));
    EXPECT_EQ("111,222", Ini("Setup1", "Infogenesis_TerminalID"));
    EXPECT_EQ("TCP", Ini("Setup1", "Printer Type"));
}

TEST_F(SourceDialogs, CancelAtEveryStepChangesNothing)
{
    struct SCENARIO {
        const char* name;
        std::function<void(SourceDialogs&)> steps;
    };
    const SCENARIO scenarios[] = {
        {"chooser", [](SourceDialogs& t) { t.WaitForChooser().Click(IDCANCEL); }},
        {"file: source dialog",
         [](SourceDialogs& t) {
             t.ChooseKind(KIND_FILE);
             t.WaitForSource().Type(IDC_FILE_PATH, "C:\\x.txt").Select(IDC_POS_INDEX, 0).Select(IDC_COM_PORT, 4).Click(IDCANCEL);
         }},
        {"file: serial port dialog, then the source dialog",
         [](SourceDialogs& t) {
             t.ChooseKind(KIND_FILE);
             t.WaitForSource().Click(IDC_PORT_BUTTON);
             t.WaitForComPort().Select(IDC_BAUD_RATE, 0).Click(IDCANCEL);
             t.WaitForSource().Then("caption unchanged", [](HWND h) {
                 EXPECT_EQ("9600,None,8,1", ControlText(h, IDC_PORT_BUTTON));
                 return true;
             });
             t.driver.Click(IDCANCEL);
         }},
        {"network: network dialog", [](SourceDialogs& t) { t.ChooseKind(KIND_NETWORK); t.WaitForNetwork().Click(IDCANCEL); }},
        {"network: source dialog",
         [](SourceDialogs& t) {
             t.ChooseKind(KIND_NETWORK);
             t.WaitForNetwork().Click(IDOK);
             t.WaitForSource().Click(IDCANCEL);
         }},
        {"network: TCP port dialog, then the source dialog",
         [](SourceDialogs& t) {
             t.ChooseKind(KIND_NETWORK);
             t.WaitForNetwork().Click(IDOK);
             t.WaitForSource().Select(IDC_PRINTER_TYPE, 1).Click(IDC_PORT_BUTTON);
             t.WaitForTcpPort().Type(IDC_PASSWORD_BOX, "pw").Click(IDCANCEL);
             t.WaitForSource().Click(IDCANCEL);
         }},
        {"OPOS: network dialog", [](SourceDialogs& t) { t.ChooseKind(KIND_OPOS); t.WaitForNetwork().Click(IDCANCEL); }},
        {"OPOS: source dialog",
         [](SourceDialogs& t) {
             t.ChooseKind(KIND_OPOS);
             t.WaitForNetwork().Type(IDC_NAME_BOX, "3").Click(IDOK);
             t.WaitForSource().Select(IDC_POS_INDEX, 0);
             t.ChooseTcpPrinter("4900", "pw");
             t.driver.Click(IDCANCEL);
         }},
        {"Infogenesis: its dialog", [](SourceDialogs& t) { t.ChooseKind(KIND_INFOGENESIS); t.WaitForInfogenesis().Click(IDCANCEL); }},
        {"Infogenesis: source dialog",
         [](SourceDialogs& t) {
             t.ChooseKind(KIND_INFOGENESIS);
             t.WaitForInfogenesis().Type(IDC_INFO_SEND_PORT, "1").Type(IDC_INFO_RECV_PORT, "2").Click(IDOK);
             t.WaitForSource().Click(IDCANCEL);
         }},
    };
    for (const auto& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        driver = CDialogDriver();
        CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
        ASSERT_NE(nullptr, dialog.CreateModeless());
        scenario.steps(*this);
        Run(dialog, IDC_NEW);
        EXPECT_EQ(0, ListView_GetItemCount(dialog.Item(IDC_SOURCE_LIST)));
        EXPECT_EQ(0, dialog.Engine().SourceCount());
        EXPECT_FALSE(SettingsFileExists());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.File("OrvaneOPosSetting.ini").c_str()));
    }
}

TEST_F(SourceDialogs, ModifySerialSourceShowsItsValuesAndSwitchingPrinterRestoresTheDefaults)
{
    WriteSettings("[Setup1]\r\nMonitor Type=0\r\nFile Path=C:\\pos\\r.txt\r\nPOS Index=POS3\r\nPrinter Type=Serial\r\n"
                  "Port=COM12\r\nPassword=NULL\r\nBaudRate=19200\r\nDataBits=7\r\nParity=Even\r\nStopBits=2.0\r\n"
                  "Receipt Type=1\r\n",
                  1);
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());

    WaitForSource();
    Check("the stored values are shown", [&](HWND h) {
        EXPECT_EQ("COM12", SelectedText(h, IDC_COM_PORT));
        EXPECT_EQ("POS3", SelectedText(h, IDC_POS_INDEX));
        EXPECT_EQ(Text("IDS_PTS_PRINTER_SERIAL"), SelectedText(h, IDC_PRINTER_TYPE));
        EXPECT_EQ("C:\\pos\\r.txt", ControlText(h, IDC_FILE_PATH));
        EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(h, IDC_SEQUENTIAL));
        EXPECT_EQ("19200,Even,7,2.0", ControlText(h, IDC_PORT_BUTTON));
    });
    driver.Click(IDC_PORT_BUTTON);
    WaitForComPort();
    Check("the serial port dialog shows the stored line settings", [](HWND h) {
        EXPECT_EQ("19200", SelectedText(h, IDC_BAUD_RATE));
        EXPECT_EQ("7", SelectedText(h, IDC_DATA_BITS));
        EXPECT_EQ("Even", SelectedText(h, IDC_PARITY));
        EXPECT_EQ("2.0", SelectedText(h, IDC_STOP_BITS));
    });
    driver.Click(IDCANCEL);
    WaitForSource().Select(IDC_PRINTER_TYPE, 1);
    Check("TCP chosen", [&](HWND h) { EXPECT_EQ(Text("IDS_PTS_TCPPORT_SETTING"), ControlText(h, IDC_PORT_BUTTON)); });
    driver.Select(IDC_PRINTER_TYPE, 0);
    Check("back to serial: the defaults", [](HWND h) {
        EXPECT_EQ("9600,None,8,1", ControlText(h, IDC_PORT_BUTTON));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(h, IDC_COM_PORT)));
    });
    driver.Click(IDC_PORT_BUTTON);
    WaitForComPort();
    Check("the serial port dialog now shows the defaults", [](HWND h) {
        EXPECT_EQ("9600", SelectedText(h, IDC_BAUD_RATE));
        EXPECT_EQ("8", SelectedText(h, IDC_DATA_BITS));
        EXPECT_EQ("None", SelectedText(h, IDC_PARITY));
        EXPECT_EQ("1.0", SelectedText(h, IDC_STOP_BITS));
    });
    driver.Click(IDCANCEL);
    WaitForSource().Click(IDOK);
    DoubleClick(dialog, 0);

    const POS_SETTING_INFO& record = dialog.Engine().Source(0);
    EXPECT_EQ("9600", record.strBaudRate);
    EXPECT_EQ("8", record.strDataBits);
    EXPECT_EQ("None", record.strParity);
    EXPECT_EQ("1.0", record.strStopBits);
    EXPECT_EQ("COM12", record.strPort);
    EXPECT_EQ("9600,8,None,1.0", ListCell(dialog.Item(IDC_SOURCE_LIST), 0, 4));
    EXPECT_EQ("9600", Ini("Setup1", "BaudRate"));
    EXPECT_EQ("COM12", Ini("Setup1", "Port"));
}

TEST_F(SourceDialogs, DoubleClickBelowTheRowsOrWhileRunningDoesNothing)
{
    WriteSettings(SerialSection(1, 0, "COM5", "C:\\a.txt"), 1);
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    DoubleClick(dialog, -1);  // no steps: a dialog shown now would be left open and reported
    DoubleClick(dialog, 1);
    dialog.Engine().m_bRunning = 1;
    DoubleClick(dialog, 0);
    dialog.Engine().m_bRunning = 0;
    EXPECT_TRUE(driver.m_Failures.empty());
}

TEST_F(SourceDialogs, TcpPortDialogChecksPortAndPassword)
{
    WriteSettings(TcpSection(1, 0, "TCP(4000)", 0, "", 0) + "File Path=C:\\a.txt\r\n", 1);
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ListView_SetItemState(dialog.Item(IDC_SOURCE_LIST), 0, LVIS_SELECTED, LVIS_SELECTED);

    WaitForSource();
    Check("the stored port in the caption", [&](HWND h) {
        EXPECT_EQ(Text("IDS_PTS_TCP_PORT") + "=4000", ControlText(h, IDC_PORT_BUTTON));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(h, IDC_COM_PORT)));
    });
    driver.Click(IDC_PORT_BUTTON);
    WaitForTcpPort();
    Check("the stored port and password", [](HWND h) {
        EXPECT_EQ("4000", ControlText(h, IDC_PORT_BOX));
        EXPECT_EQ("pw", ControlText(h, IDC_PASSWORD_BOX));
    });
    driver.Type(IDC_PORT_BOX, "1024").Click(IDOK).AcceptMessage();
    driver.Type(IDC_PASSWORD_BOX, "").Click(IDOK).AcceptMessage();
    driver.Type(IDC_PORT_BOX, "").Click(IDOK).AcceptMessage();
    driver.Type(IDC_PORT_BOX, "65535").Type(IDC_PASSWORD_BOX, "new").Click(IDOK);
    WaitForSource();
    Check("the new port in the caption", [&](HWND h) {
        EXPECT_EQ(Text("IDS_PTS_TCP_PORT") + "=65535", ControlText(h, IDC_PORT_BUTTON));
    });
    driver.Click(IDOK);
    Run(dialog, IDC_MODIFY);

    const std::vector<std::string> want = {"Enter an integer between 1025 and 65535.",
                                           Text("IDS_PTS_WARNING_INPUT_PASSWORD"), Text("IDS_PTS_WARNING_INPUT_PORT")};
    EXPECT_EQ(want, driver.m_Messages);
    EXPECT_EQ("TCP(65535)", Ini("Setup1", "Port"));
    EXPECT_EQ("new", Ini("Setup1", "Password"));
    EXPECT_EQ("TCP(65535)", ListCell(dialog.Item(IDC_SOURCE_LIST), 0, 3));
}

TEST_F(SourceDialogs, SourceDialogRefusalsShowTheirLanguageTexts)
{
    WriteSettings(SerialSection(1, 0, "COM3", "C:\\a.txt") + TcpSection(2, 1, "TCP(6000)", 0, "192.168.1.50", 5111), 2);
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ChooseKind(KIND_FILE);
    WaitForSource().Click(IDOK).AcceptMessage();                               // no port, no file
    driver.Type(IDC_FILE_PATH, "C:\\b.txt").Click(IDOK).AcceptMessage();       // no POS index
    driver.Select(IDC_POS_INDEX, 0).Click(IDOK).AcceptMessage();               // no COM port
    driver.Select(IDC_COM_PORT, 2).Click(IDOK).AcceptMessage();                // COM3 in use
    driver.Select(IDC_COM_PORT, 3).Click(IDOK).AcceptMessage();                // POS1 in use
    driver.Type(IDC_FILE_PATH, "").Click(IDOK).AcceptMessage();                // port but no file
    driver.Type(IDC_FILE_PATH, "C:\\b.txt").Select(IDC_PRINTER_TYPE, 1).Select(IDC_POS_INDEX, 2).Click(IDOK).AcceptMessage();
    ChooseTcpPrinter("5111", "pw");                                            // a network source listens there
    driver.Click(IDOK).AcceptMessage();
    ChooseTcpPrinter("5112", "pw");
    driver.Click(IDOK);
    Run(dialog, IDC_NEW);

    const std::vector<std::string> want = {
        Text("IDS_PTS_WARNING_INPUT_SETTING"),  Text("IDS_PTS_WARNING_INPUT_POS_INDEX"),
        Text("IDS_PTS_WARNING_SELECT_PORT"),    "Port 3 is already used by another source.",
        Text("IDS_PTS_WARNING_DEVICE_USED"),    Text("IDS_PTS_WARNING_SELECT_FILE"),
        Text("IDS_PTS_WARNING_INPUT_PORT"),     "Port 5111 is already used by another source.",
    };
    EXPECT_EQ(want, driver.m_Messages);
    EXPECT_EQ(3, dialog.Engine().SourceCount());
    EXPECT_EQ("TCP(5112)", Ini("Setup3", "Port"));
}

TEST_F(SourceDialogs, RefusalsSayWhatIsMissingAndKeepTheEntries)
{
    WriteSettings(SerialSection(1, 0, "COM3", "C:\\a.txt"), 1);
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    // A port but no POS index.
    ChooseKind(KIND_FILE);
    WaitForSource().Type(IDC_FILE_PATH, "C:\\b.txt").Select(IDC_COM_PORT, 3).Click(IDOK).AcceptMessage();
    Check("the source dialog stays with its entries", [&](HWND h) {
        EXPECT_EQ(Text("IDS_PTS_CONFIG"), WindowTextOf(h));
        EXPECT_EQ("C:\\b.txt", ControlText(h, IDC_FILE_PATH));
        EXPECT_EQ(3, SelectedItem(h, IDC_COM_PORT));
        EXPECT_EQ(-1, SelectedItem(h, IDC_POS_INDEX));
    });
    driver.Click(IDCANCEL);
    Run(dialog, IDC_NEW);
    // An Infogenesis source without its server's address.
    ChooseKind(KIND_INFOGENESIS);
    WaitForInfogenesis().Type(IDC_INFO_SEND_PORT, "7001").Type(IDC_INFO_RECV_PORT, "7002");
    driver.Type(IDC_INFO_SERVER_IP, "").Click(IDOK).AcceptMessage();
    Check("the Infogenesis dialog stays with its entries", [](HWND h) {
        EXPECT_EQ("Infogenesis", WindowTextOf(h));
        EXPECT_EQ("", ControlText(h, IDC_INFO_SERVER_IP));
        EXPECT_EQ("7001", ControlText(h, IDC_INFO_SEND_PORT));
        EXPECT_EQ("7002", ControlText(h, IDC_INFO_RECV_PORT));
    });
    driver.Click(IDCANCEL);
    Run(dialog, IDC_NEW);

    const std::vector<std::string> want = {Text("IDS_PTS_WARNING_INPUT_POS_INDEX"),
                                           Text("IDS_INFO_WARNING_INPUT_SERVER_IP")};
    EXPECT_EQ(want, driver.m_Messages);
    ASSERT_EQ(1, dialog.Engine().SourceCount());
    EXPECT_EQ("COM3", dialog.Engine().Source(0).strPort);
    EXPECT_EQ("1", Ini("Main", "File Number"));
    EXPECT_EQ("<missing>", Ini("Setup2", "Port"));
}

TEST_F(SourceDialogs, NetworkDialogRefusesALowPortOnceAndADuplicateEndpoint)
{
    WriteSettings(TcpSection(1, 1, "TCP(6000)", 0, "192.168.1.50", 5111), 1);
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ChooseKind(KIND_NETWORK);
    WaitForNetwork().Type(IDC_PORT_BOX, "80").Click(IDOK).AcceptMessage();
    WaitForNetwork().Type(IDC_CLIENT_IP, "192.168.1.50").Type(IDC_PORT_BOX, "5111").Click(IDOK).AcceptMessage();
    WaitForNetwork().Type(IDC_CLIENT_IP, "192.168.1.51").Click(IDOK);
    WaitForSource().Click(IDCANCEL);
    Run(dialog, IDC_NEW);
    const std::vector<std::string> want = {"Enter an integer between 1025 and 65535.",
                                           "Port 5111 is already used by another source."};
    EXPECT_EQ(want, driver.m_Messages);

    // Modify of the source itself without changes: its own record is skipped.
    driver = CDialogDriver();
    WaitForNetwork().Click(IDOK);
    WaitForSource().Click(IDOK);
    DoubleClick(dialog, 0);
    EXPECT_TRUE(driver.m_Messages.empty());
}

TEST_F(SourceDialogs, BrowsePicksAgainWhileTheFileBelongsToAnotherSource)
{
    WriteSettings(SerialSection(1, 0, "COM3", "C:\\pos\\a.txt"), 1);
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    std::deque<std::string> picks = {"C:\\pos\\a.txt", "C:\\pos\\b.txt"};
    int nPicks = 0;
    dialog.m_ReadFileSetting.m_PickFile = [&](HWND, std::string& path) {
        ++nPicks;
        if (picks.empty())
            return false;
        path = picks.front();
        picks.pop_front();
        return true;
    };
    ChooseKind(KIND_FILE);
    WaitForSource().Click(IDC_BROWSE).AcceptMessage();
    WaitForSource();
    Check("the second pick is taken", [](HWND h) { EXPECT_EQ("C:\\pos\\b.txt", ControlText(h, IDC_FILE_PATH)); });
    driver.Click(IDCANCEL);
    Run(dialog, IDC_NEW);
    EXPECT_EQ(2, nPicks);
    EXPECT_EQ(std::vector<std::string>{Text("IDS_PTS_WARNING_INPUT_SAME_FILE")}, driver.m_Messages);

    // The source's own file is accepted as it stands.
    driver = CDialogDriver();
    picks = {"C:\\pos\\a.txt"};
    WaitForSource().Click(IDC_BROWSE);
    WaitForSource();
    Check("own file", [](HWND h) { EXPECT_EQ("C:\\pos\\a.txt", ControlText(h, IDC_FILE_PATH)); });
    driver.Click(IDCANCEL);
    DoubleClick(dialog, 0);
    EXPECT_TRUE(driver.m_Messages.empty());
}

TEST_F(SourceDialogs, TheSystemsOpenFileDialogOpensAndCanBeCancelled)
{
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ChooseKind(KIND_FILE);
    WaitForSource().Type(IDC_FILE_PATH, "C:\\kept.txt").Click(IDC_BROWSE);
    driver.Then("the open-file dialog", [&](HWND h) {
        std::string text;
        if (GetDlgItem(h, IDC_PORT_BUTTON) || MessageBoxText(h, text))
            return false;
        PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return true;
    });
    WaitForSource();
    Check("the box is unchanged", [](HWND h) { EXPECT_EQ("C:\\kept.txt", ControlText(h, IDC_FILE_PATH)); });
    driver.Click(IDCANCEL);
    driver.m_Failures.clear();
    Run(dialog, IDC_NEW);
}

TEST_F(SourceDialogs, RightToLeftMirrorsEveryDialogButInfogenesisAndShowsTheStoredPortNumber)
{
    CLanguage arabic(LANGUAGE_INPUTS{ARABIC, ""});
    arabic.Load(ProgramLanguageFilePath());
    ASSERT_TRUE(arabic.IsRightToLeft());
    WriteSettings("[Setup1]\r\nMonitor Type=0\r\nFile Path=C:\\a.txt\r\nPOS Index=POS1\r\nPrinter Type=TCP\r\n"
                  "Port=(TCP(4000\r\nPassword=pw\r\n",
                  1);
    CEditDlg dialog(&arabic, folder.Path(), false, true);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    EXPECT_TRUE(IsMirrored(dialog.Hwnd()));
    EXPECT_TRUE(IsMirrored(dialog.Item(IDC_SOURCE_LIST))) << "controls are mirrored from their creation";
    EXPECT_EQ("(TCP(4000", ListCell(dialog.Item(IDC_SOURCE_LIST), 0, 3));

    std::vector<std::string> mirrored, plain;
    auto note = [&](const char* name) {
        driver.Do(name, [&mirrored, &plain, name](HWND h) { (IsMirrored(h) ? mirrored : plain).push_back(name); });
    };
    driver.Then("source dialog", [](HWND h) { return GetDlgItem(h, IDC_PORT_BUTTON) != nullptr; });
    note("source");
    driver.Click(IDC_PORT_BUTTON);
    driver.Then("TCP port dialog", [](HWND h) { return GetDlgItem(h, IDC_DEVICE_PORT_LABEL) != nullptr; });
    note("tcp port");
    Check("the stored right-to-left form shows the number", [](HWND h) { EXPECT_EQ("4000", ControlText(h, IDC_PORT_BOX)); });
    driver.Click(IDCANCEL);
    driver.Then("source dialog", [](HWND h) { return GetDlgItem(h, IDC_PORT_BUTTON) != nullptr; });
    driver.Select(IDC_PRINTER_TYPE, 0).Click(IDC_PORT_BUTTON);
    driver.Then("serial port dialog", [](HWND h) { return GetDlgItem(h, IDC_STOP_BITS_LABEL) != nullptr; });
    note("com port");
    driver.Click(IDCANCEL);
    driver.Then("source dialog", [](HWND h) { return GetDlgItem(h, IDC_PORT_BUTTON) != nullptr; });
    driver.Click(IDCANCEL);
    DoubleClick(dialog, 0);

    driver = CDialogDriver();
    driver.Then("chooser", [](HWND h) { return GetDlgItem(h, IDC_KIND_GROUP) != nullptr; });
    note("chooser");
    driver.Select(IDC_KIND_LIST, 1).Click(IDOK);
    driver.Then("network dialog", [](HWND h) { return GetDlgItem(h, IDC_CLIENT_IP_LABEL) != nullptr; });
    note("network");
    driver.Click(IDCANCEL);
    Run(dialog, IDC_NEW);

    driver = CDialogDriver();
    driver.Then("chooser", [](HWND h) { return GetDlgItem(h, IDC_KIND_GROUP) != nullptr; });
    driver.Select(IDC_KIND_LIST, 3).Click(IDOK);
    driver.Then("Infogenesis dialog", [](HWND h) { return GetDlgItem(h, IDC_INFO_EXAMPLE) != nullptr; });
    note("infogenesis");
    driver.Click(IDCANCEL);
    Run(dialog, IDC_NEW);

    EXPECT_EQ((std::vector<std::string>{"source", "tcp port", "com port", "chooser", "network"}), mirrored);
    EXPECT_EQ(std::vector<std::string>{"infogenesis"}, plain);
}

TEST_F(SourceDialogs, OposFlagFollowsTheLoadedSourcesAndDelete)
{
    WriteSettings(TcpSection(1, 2, "TCP(6000)", 2, "127.0.0.1", 5111), 1);
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    auto kinds = [](HWND h) {
        std::vector<int> list;
        for (int i = 0; i < ItemCount(h, IDC_KIND_LIST); ++i)
            list.push_back(static_cast<int>(SendDlgItemMessageA(h, IDC_KIND_LIST, CB_GETITEMDATA, static_cast<WPARAM>(i), 0)));
        return list;
    };
    std::vector<int> seen;
    WaitForChooser();
    Check("kinds", [&](HWND h) { seen = kinds(h); });
    driver.Click(IDCANCEL);
    Run(dialog, IDC_NEW);
    EXPECT_EQ((std::vector<int>{KIND_FILE, KIND_NETWORK, KIND_INFOGENESIS}), seen) << "an OPOS source is configured";

    ListView_SetItemState(dialog.Item(IDC_SOURCE_LIST), 0, LVIS_SELECTED, LVIS_SELECTED);
    driver = CDialogDriver();
    driver.Then("confirm the delete", [](HWND h) {
        std::string text;
        if (!MessageBoxText(h, text))
            return false;
        PostClick(h, IDYES);
        return true;
    });
    Run(dialog, IDC_DELETE);
    driver = CDialogDriver();
    WaitForChooser();
    Check("kinds", [&](HWND h) { seen = kinds(h); });
    driver.Click(IDCANCEL);
    Run(dialog, IDC_NEW);
    EXPECT_EQ((std::vector<int>{KIND_FILE, KIND_NETWORK, KIND_OPOS, KIND_INFOGENESIS}), seen);
}

TEST_F(SourceDialogs, ModifyingAnOposSourceRewritesItsSettingsFile)
{
    WriteSettings(TcpSection(1, 2, "TCP(6000)", 2, "127.0.0.1", 5111), 1);
    WriteWholeFile(folder.File("OrvaneOPosSetting.ini"), "[NetWork]\r\nIP=2130706433\r\nPort=5111\r\nName=7\r\n");
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    WaitForNetwork().Type(IDC_PORT_BOX, "6001").Type(IDC_NAME_BOX, "9").Click(IDOK);
    WaitForSource().Click(IDOK);
    DoubleClick(dialog, 0);

    CIniProfile opos(folder.File("OrvaneOPosSetting.ini"));
    EXPECT_EQ("6001", opos.GetString("NetWork", "Port", "", 64));
    EXPECT_EQ("9", opos.GetString("NetWork", "Name", "", 64));
    EXPECT_EQ("2130706433", opos.GetString("NetWork", "IP", "", 64));
    EXPECT_EQ("6001", Ini("Setup1", "Internet Port"));
    EXPECT_EQ("127.0.0.1 OPos(6001)", ListCell(dialog.Item(IDC_SOURCE_LIST), 0, 1));
}

TEST_F(SourceDialogs, NewWithSixteenSourcesSaysSoAndShowsNoChooser)
{
    std::string sections;
    for (int n = 1; n <= 16; ++n)
        sections += SerialSection(n, 0, "COM" + std::to_string(n + 4), "C:\\r" + std::to_string(n) + ".txt");
    WriteSettings(sections, 16);
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ASSERT_EQ(16, dialog.Engine().SourceCount());
    driver.AcceptMessage();
    Run(dialog, IDC_NEW);
    ASSERT_EQ(1u, driver.m_Messages.size());
    EXPECT_EQ(Text("IDS_PTS_WARNING_MAX_SOURCES"), driver.m_Messages[0]);
    EXPECT_FALSE(driver.m_Messages[0].empty());
    EXPECT_EQ(16, dialog.Engine().SourceCount());
}

TEST_F(SourceDialogs, LongTextsAreLimitedInTheirBoxes)
{
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    const std::string longText(400, '1');
    std::string ip, terminals, path;
    ChooseKind(KIND_INFOGENESIS);
    WaitForInfogenesis();
    Check("typed texts longer than the record's fields", [&](HWND h) {
        // A user's typing (and pasting) stops at the box's limit.
        for (int id : {IDC_INFO_SERVER_IP, IDC_INFO_TERMINALS})
            SendMessageA(GetDlgItem(h, id), EM_SETSEL, 0, -1), SendMessageA(GetDlgItem(h, id), EM_REPLACESEL, TRUE,
                                                                            reinterpret_cast<LPARAM>(longText.c_str()));
        ip = ControlText(h, IDC_INFO_SERVER_IP);
        terminals = ControlText(h, IDC_INFO_TERMINALS);
    });
    driver.Click(IDCANCEL);
    Run(dialog, IDC_NEW);
    EXPECT_EQ(259u, ip.size());
    EXPECT_EQ(259u, terminals.size());

    driver = CDialogDriver();
    ChooseKind(KIND_FILE);
    WaitForSource();
    Check("a long path", [&](HWND h) {
        SendMessageA(GetDlgItem(h, IDC_FILE_PATH), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(longText.c_str()));
        path = ControlText(h, IDC_FILE_PATH);
    });
    driver.Click(IDCANCEL);
    Run(dialog, IDC_NEW);
    EXPECT_EQ(259u, path.size());
}

TEST_F(SourceDialogs, RightToLeftMainWindowIsMirroredFromItsCreation)
{
    CLanguage arabic(LANGUAGE_INPUTS{ARABIC, ""});
    arabic.Load(ProgramLanguageFilePath());
    std::string sections;
    for (int n = 1; n <= 16; ++n)
        sections += SerialSection(n, 0, "COM" + std::to_string(n + 4), "C:\\r" + std::to_string(n) + ".txt");
    WriteSettings(sections, 16);
    CEditDlg dialog(&arabic, folder.Path(), false, true);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ShowWindow(dialog.Hwnd(), SW_SHOW);
    HWND hList = dialog.Item(IDC_SOURCE_LIST);
    for (int id : {IDC_SOURCE_LIST, IDC_NEW, IDC_MODIFY, IDC_DELETE, IDC_START, IDC_AUTORUN})
        EXPECT_TRUE(IsMirrored(dialog.Item(id))) << id;
    // New sits at the right edge, Start at the left, as a right-to-left reader expects.
    RECT newButton, startButton;
    GetWindowRect(dialog.Item(IDC_NEW), &newButton);
    GetWindowRect(dialog.Item(IDC_START), &startButton);
    EXPECT_GT(newButton.left, startButton.left);
    // Sixteen rows do not fit: the list scrolls.
    SCROLLINFO scroll = {};
    scroll.cbSize = sizeof scroll;
    scroll.fMask = SIF_RANGE | SIF_PAGE;
    ASSERT_TRUE(GetScrollInfo(hList, SB_VERT, &scroll));
    EXPECT_GT(scroll.nMax - scroll.nMin + 1, static_cast<int>(scroll.nPage));
    EXPECT_TRUE(GetWindowLongPtrA(hList, GWL_STYLE) & WS_VSCROLL);
}

TEST_F(SourceDialogs, SerialPortDialogWithStoredValuesOutsideItsLists)
{
    auto serial = [](int n, const std::string& port, const std::string& baud, const std::string& parity) {
        return "[Setup" + std::to_string(n) + "]\r\nMonitor Type=0\r\nFile Path=C:\\r" + std::to_string(n) +
               ".txt\r\nPOS Index=POS" + std::to_string(n) + "\r\nPrinter Type=Serial\r\nPort=" + port +
               "\r\nPassword=NULL\r\nBaudRate=" + baud + "\r\nDataBits=7\r\nParity=" + parity + "\r\nStopBits=2.0\r\n";
    };
    WriteSettings(serial(1, "COM40", "14400", "Even") + serial(2, "COM6", "19200", "even"), 2);
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());

    // An unknown baud rate: every list shows its default. COM40 is past the list's end.
    WaitForSource();
    Check("COM40 selects nothing", [](HWND h) { EXPECT_EQ(-1, SelectedItem(h, IDC_COM_PORT)); });
    driver.Click(IDC_PORT_BUTTON);
    WaitForComPort();
    Check("all defaults", [](HWND h) {
        EXPECT_EQ("9600", SelectedText(h, IDC_BAUD_RATE));
        EXPECT_EQ("8", SelectedText(h, IDC_DATA_BITS));
        EXPECT_EQ("None", SelectedText(h, IDC_PARITY));
        EXPECT_EQ("1.0", SelectedText(h, IDC_STOP_BITS));
    });
    driver.Click(IDCANCEL);
    WaitForSource().Click(IDCANCEL);
    DoubleClick(dialog, 0);

    // An unknown parity: that list alone stays empty, and OK is refused.
    driver = CDialogDriver();
    WaitForSource().Click(IDC_PORT_BUTTON);
    WaitForComPort();
    Check("stored values, parity empty", [](HWND h) {
        EXPECT_EQ("19200", SelectedText(h, IDC_BAUD_RATE));
        EXPECT_EQ("7", SelectedText(h, IDC_DATA_BITS));
        EXPECT_EQ(-1, SelectedItem(h, IDC_PARITY));
        EXPECT_EQ("2.0", SelectedText(h, IDC_STOP_BITS));
    });
    driver.Click(IDOK).AcceptMessage();
    WaitForComPort().Click(IDCANCEL);
    WaitForSource().Click(IDCANCEL);
    DoubleClick(dialog, 1);
    EXPECT_EQ(std::vector<std::string>{Text("IDS_PTS_WARNING_INPUT_SETTING")}, driver.m_Messages);
    EXPECT_EQ("even", dialog.Engine().Source(1).strParity) << "a refused dialog changes nothing";
}

// Without the adapter library beside the program there is nothing to reach an
// Infogenesis POS with: the chooser does not offer the kind.
TEST_F(SourceDialogs, InfogenesisIsNotOfferedWithoutItsLibrary)
{
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    dialog.bInfogenesis = false;
    ASSERT_NE(nullptr, dialog.CreateModeless());
    CDialogDriver chooser;
    chooser.Then("the kinds offered", [&](HWND h) {
        if (!GetDlgItem(h, IDC_KIND_GROUP))
            return false;
        EXPECT_EQ(3, ItemCount(h, IDC_KIND_LIST)) << "file, network and OPOS";
        for (int i = 0; i < ItemCount(h, IDC_KIND_LIST); ++i)
            EXPECT_NE(KIND_INFOGENESIS,
                      SendDlgItemMessageA(h, IDC_KIND_LIST, CB_GETITEMDATA, static_cast<WPARAM>(i), 0));
        PostClick(h, IDCANCEL);
        return true;
    });
    chooser.Run([&] { SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_NEW, 0); });
    EXPECT_TRUE(chooser.AllDone()) << ::testing::PrintToString(chooser.m_Failures);
    EXPECT_EQ(0, ListView_GetItemCount(dialog.Item(IDC_SOURCE_LIST)));
}

TEST_F(SourceDialogs, NetworkDialogRefusesWhatIsNoAddressAndPortsOutsideTheirRange)
{
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    const struct { const char* ip; const char* port; bool addressRefused; } cases[] = {
        {"192.168.0.1127.0.0.100", "5200", true},  // two addresses run together
        {"192.168.0.256", "5200", true},
        {"192.168.0", "5200", true},
        {"till one", "5200", true},
        {"", "5200", true},
        {"192.168.0.10", "0", false},
        {"192.168.0.10", "65536", false},
    };
    ChooseKind(KIND_NETWORK);
    std::vector<std::string> want;
    for (const auto& c : cases) {
        const std::string ip = c.ip;
        WaitForNetwork().Type(IDC_CLIENT_IP, c.ip).Type(IDC_PORT_BOX, c.port).Click(IDOK).AcceptMessage();
        if (c.addressRefused) {
            Check("the address box has the focus, its text selected", [ip](HWND h) {
                EXPECT_EQ(GetDlgItem(h, IDC_CLIENT_IP), GetFocus()) << ip;
                DWORD start = 1, end = 0;
                SendDlgItemMessageA(h, IDC_CLIENT_IP, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
                EXPECT_EQ(0u, start) << ip;
                EXPECT_EQ(ip.size(), end) << ip;
            });
        }
        want.push_back(c.addressRefused ? Text("IDS_PTS_WARNING_INVALID_IP") : "Enter an integer between 1025 and 65535.");
    }
    WaitForNetwork().Type(IDC_CLIENT_IP, "192.168.0.10").Type(IDC_PORT_BOX, "5200").Click(IDOK);
    WaitForSource().Click(IDCANCEL);
    Run(dialog, IDC_NEW);
    EXPECT_EQ(want, driver.m_Messages);
    EXPECT_EQ(0, ListView_GetItemCount(dialog.Item(IDC_SOURCE_LIST))) << "nothing refused was kept";
    EXPECT_FALSE(SettingsFileExists());
}

TEST_F(SourceDialogs, PortDialogsOfANewSourceReopenWithWhatItsButtonShows)
{
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ChooseKind(KIND_FILE);
    WaitForSource().Click(IDC_PORT_BUTTON);
    WaitForComPort().Select(IDC_BAUD_RATE, 4).Select(IDC_DATA_BITS, 2).Select(IDC_PARITY, 2).Select(IDC_STOP_BITS, 2).Click(IDOK);
    WaitForSource().Click(IDC_PORT_BUTTON);
    WaitForComPort();
    Check("the serial dialog shows the confirmed settings", [](HWND h) {
        EXPECT_EQ("19200", SelectedText(h, IDC_BAUD_RATE));
        EXPECT_EQ("7", SelectedText(h, IDC_DATA_BITS));
        EXPECT_EQ("Even", SelectedText(h, IDC_PARITY));
        EXPECT_EQ("2.0", SelectedText(h, IDC_STOP_BITS));
    });
    driver.Click(IDCANCEL);
    ChooseTcpPrinter("47420", "till 1");
    Check("the button names the port", [&](HWND h) {
        EXPECT_EQ(Text("IDS_PTS_TCP_PORT") + "=47420", ControlText(h, IDC_PORT_BUTTON));
    });
    driver.Click(IDC_PORT_BUTTON);
    WaitForTcpPort();
    Check("the TCP dialog shows the confirmed port and password", [](HWND h) {
        EXPECT_EQ("47420", ControlText(h, IDC_PORT_BOX));
        EXPECT_EQ("till 1", ControlText(h, IDC_PASSWORD_BOX));
    });
    driver.Click(IDCANCEL);
    WaitForSource().Click(IDCANCEL);
    Run(dialog, IDC_NEW);

    // The next new source starts from the defaults again.
    driver = CDialogDriver();
    ChooseKind(KIND_FILE);
    WaitForSource().Click(IDC_PORT_BUTTON);
    WaitForComPort();
    Check("the serial defaults", [](HWND h) {
        EXPECT_EQ("9600", SelectedText(h, IDC_BAUD_RATE));
        EXPECT_EQ("8", SelectedText(h, IDC_DATA_BITS));
        EXPECT_EQ("None", SelectedText(h, IDC_PARITY));
        EXPECT_EQ("1.0", SelectedText(h, IDC_STOP_BITS));
    });
    driver.Click(IDCANCEL);
    WaitForSource().Select(IDC_PRINTER_TYPE, 1).Click(IDC_PORT_BUTTON);
    WaitForTcpPort();
    Check("the TCP defaults", [](HWND h) {
        EXPECT_EQ("4000", ControlText(h, IDC_PORT_BOX));
        EXPECT_EQ("", ControlText(h, IDC_PASSWORD_BOX));
    });
    driver.Click(IDCANCEL);
    WaitForSource().Click(IDCANCEL);
    Run(dialog, IDC_NEW);
}

// Typing over a value must replace it: a box reached with Tab holds its whole text selected.
TEST_F(SourceDialogs, ABoxReachedWithTheKeyboardHasItsWholeTextSelected)
{
    WriteSettings(TcpSection(1, 1, "TCP(6000)", 0, "192.168.1.50", 5111), 1);
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    auto tabTo = [this](int nId) {
        driver.Then("Tab to " + std::to_string(nId), [nId](HWND h) {
            if (GetFocus() == GetDlgItem(h, nId))
                return true;
            PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
            PostMessageA(GetFocus(), WM_KEYUP, VK_TAB, 0xC0000001);
            return false;
        });
        Check("whole text selected", [nId](HWND h) {
            DWORD start = 1, end = 0;
            SendDlgItemMessageA(h, nId, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(0u, start) << nId;
            EXPECT_EQ(ControlText(h, nId).size(), end) << nId;
            EXPECT_FALSE(ControlText(h, nId).empty()) << nId;
        });
    };
    WaitForNetwork();
    tabTo(IDC_CLIENT_IP);
    tabTo(IDC_PORT_BOX);
    driver.Click(IDCANCEL);
    DoubleClick(dialog, 0);
}

// Ctrl+A then typing replaces a box's text, in every kind of box.
TEST_F(SourceDialogs, CtrlASelectsABoxsWholeText)
{
    WriteSettings(TcpSection(1, 1, "TCP(6000)", 0, "192.168.1.50", 5111), 1);
    CEditDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    auto ctrlA = [this](int nId, const char* what) {
        Check(std::string("Ctrl+A in ") + what, [nId, what](HWND h) {
            HWND hBox = GetDlgItem(h, nId);
            SetFocus(hBox);
            SendMessageA(hBox, EM_SETSEL, 1, 2);
            BYTE keys[256] = {};
            GetKeyboardState(keys);
            keys[VK_CONTROL] = 0x80;
            SetKeyboardState(keys);
            SendMessageA(hBox, WM_KEYDOWN, 'A', 0x001E0001);
            SendMessageA(hBox, WM_CHAR, 0x01, 0x001E0001);
            SendMessageA(hBox, WM_KEYUP, 'A', 0xC01E0001);
            keys[VK_CONTROL] = 0;
            SetKeyboardState(keys);
            const std::string text = ControlText(h, nId);
            DWORD start = 1, end = 0;
            SendMessageA(hBox, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(0u, start) << what;
            EXPECT_EQ(text.size(), end) << what;
            EXPECT_EQ(std::string::npos, text.find('\x01')) << what << ": nothing typed";
        });
    };
    WaitForNetwork();
    ctrlA(IDC_CLIENT_IP, "the address box");
    ctrlA(IDC_PORT_BOX, "a digits-only box");
    driver.Click(IDOK);
    WaitForSource().Click(IDC_PORT_BUTTON);
    WaitForTcpPort();
    ctrlA(IDC_PASSWORD_BOX, "the password box");
    driver.Click(IDCANCEL);
    WaitForSource().Click(IDCANCEL);
    DoubleClick(dialog, 0);
}
