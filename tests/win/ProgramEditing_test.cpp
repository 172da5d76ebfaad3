// A source made through the program's own dialogs, driven from outside the
// process as a person drives them: it is saved, survives a restart of the
// program and captures.
#include "net/WinsockInit.h"
#include "base/IniProfile.h"
#include "config/PosSettingInfo.h"
#include "lang/Language.h"
#include "res/resource.h"
#include "tests/support/Bytes.h"
#include "tests/support/DialogDriver.h"
#include "tests/support/Loopback.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <objbase.h>

namespace {

void ClickIn(HWND hWindow, int nId)
{
    PostMessageA(hWindow, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hWindow, nId)));
}

}  // namespace

TEST(ProgramEditing, SourceMadeInTheDialogsIsSavedSurvivesARestartAndCaptures)
{
    CWinsockInit winsock;
    CoInitialize(nullptr);
    CLanguage texts;
    texts.Load(ProgramLanguageFilePath());
    CreateDirectoryA((ProgramDataFolder() + "..").c_str(), nullptr);
    CreateDirectoryA(ProgramDataFolder().c_str(), nullptr);
    DeleteFileA(ProgramSettingsPath().c_str());

    CTempFolder folder;
    const std::string receipts = folder.File("till.txt");
    WriteWholeFile(receipts, "before\r\n");
    const unsigned short port = FindFreeLoopbackPort();
    const std::string portText = std::to_string(port);

    {
        CProgramUnderTest program;
        ASSERT_TRUE(program.Start("/Service"));
        HWND hMain = program.WaitForMainWindow();
        ASSERT_NE(nullptr, hMain);
        ASSERT_EQ(0, program.ListRowCount());

        CDialogDriver driver(15000);
        driver.Then("chooser", [](HWND h) { return GetDlgItem(h, IDC_KIND_GROUP) != nullptr; });
        driver.Select(IDC_KIND_LIST, 0).Click(IDOK);
        driver.Then("source dialog", [](HWND h) { return GetDlgItem(h, IDC_PORT_BUTTON) != nullptr; });
        driver.Type(IDC_FILE_PATH, receipts).Select(IDC_POS_INDEX, 0).Select(IDC_PRINTER_TYPE, 1).Click(IDC_PORT_BUTTON);
        driver.Then("TCP port dialog", [](HWND h) { return GetDlgItem(h, IDC_DEVICE_PORT_LABEL) != nullptr; });
        driver.Type(IDC_PORT_BOX, portText).Type(IDC_PASSWORD_BOX, "till 1").Click(IDOK);
        driver.Then("source dialog again", [&](HWND h) {
            return GetDlgItem(h, IDC_PORT_BUTTON) != nullptr &&
                   ControlText(h, IDC_PORT_BUTTON) == texts.GetString("IDS_PTS_TCP_PORT") + "=" + portText;
        });
        driver.Click(IDOK);
        ClickIn(hMain, IDC_NEW);
        driver.Drive(program.ProcessId(), 60000);
        ASSERT_TRUE(driver.AllDone()) << ::testing::PrintToString(driver.m_Failures);

        ASSERT_TRUE(program.WaitForCell(0, 3, "TCP(" + portText + ")"));
        EXPECT_EQ(receipts, program.ListCell(0, 1));
        EXPECT_EQ("POS1", program.ListCell(0, 2));
        CIniProfile saved(ProgramSettingsPath());
        EXPECT_EQ(1, saved.GetInt("Main", "File Number", 0));
        EXPECT_EQ("TCP(" + portText + ")", saved.GetString("Setup1", "Port", "", 64));
        EXPECT_EQ("till 1", saved.GetString("Setup1", "Password", "", 64));
        EXPECT_EQ(receipts, saved.GetString("Setup1", "File Path", "", 260));

        PostMessageA(hMain, WM_CLOSE, 0, 0);
        ASSERT_TRUE(program.WaitForExit(15000));
    }

    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    ASSERT_EQ(1, program.ListRowCount()) << "the source survives the restart";
    EXPECT_EQ(receipts, program.ListCell(0, 1));
    EXPECT_EQ("TCP(" + portText + ")", program.ListCell(0, 3));

    ClickIn(hMain, IDC_START);
    ASSERT_TRUE(program.WaitForCell(0, 0, texts.GetString("IDS_PTS_WAIT_CONNECT")));
    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(port));
    ASSERT_EQ(67u, recorder.Login("till 1").size());
    ASSERT_TRUE(program.WaitForCell(0, 0, texts.GetString("IDS_PTS_CONNECTED")));
    const std::string receipt = "LATTE 3.20\r\nTOTAL 3.20\r\n";
    AppendToFile(receipts, receipt);
    EXPECT_EQ(Swapped(receipt + std::string(1, '\0')), recorder.ReceiveUpTo(receipt.size() + 1, 10000));

    PostMessageA(hMain, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.WaitForExit(15000));
    DeleteFileA(ProgramSettingsPath().c_str());
    CoUninitialize();
}
