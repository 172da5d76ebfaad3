// Settings file through the system's profile functions, on real files.
#include "app/CaptureEngine.h"
#include "base/IniProfile.h"
#include "config/SettingsFile.h"
#include "tests/support/EngineHost.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {


struct SettingsFixture : ::testing::Test {
    CTempFolder folder;
    std::string path = folder.File("FileMapPOS.ini");
    CIniProfile profile{path};

    LOADED_SETTINGS Load(bool rtl = false) { return LoadSettingsFrom(profile, rtl); }
    void Save(const std::vector<POS_SETTING_INFO>& records, bool rtl = false)
    {
        std::vector<const POS_SETTING_INFO*> pointers;
        for (const auto& r : records) pointers.push_back(&r);
        SaveSettingsTo(profile, pointers, rtl);
    }
    std::string Value(const std::string& section, const std::string& key)
    {
        return profile.GetString(section, key, "<missing>", 1024);
    }
};

POS_SETTING_INFO SerialFileSource()
{
    POS_SETTING_INFO r;
    r.nMonitorType = KIND_FILE;
    r.nReceiptType = 1;
    r.ePrinterType = PRINTER_TYPE::Serial;
    r.strPosIndex = "POS3";
    r.strFilePath = "C:\\Receipts\\till one.txt";
    r.nInternetType = 0;
    r.nInternetPort = 0;
    r.strPort = "COM12";
    r.strPassword = "NULL";
    r.strBaudRate = "9600";
    r.strDataBits = "8";
    r.strParity = "Space";
    r.strStopBits = "1.5";
    return r;
}

POS_SETTING_INFO TcpNetworkSource(int internetType)
{
    POS_SETTING_INFO r;
    r.nMonitorType = KIND_NETWORK;
    r.nReceiptType = 0;
    r.ePrinterType = PRINTER_TYPE::Tcp;
    r.strPosIndex = "POS1";
    r.nInternetType = internetType;
    r.strInternetIP = "192.0.2.7";
    r.nInternetPort = 9100;
    r.strPort = "4000";
    r.strPassword = "s3cret pass";
    r.strBaudRate = r.strDataBits = r.strParity = r.strStopBits = "NULL";
    return r;
}

POS_SETTING_INFO OposSource()
{
    POS_SETTING_INFO r = TcpNetworkSource(2);
    r.nMonitorType = KIND_OPOS;
    r.strPosIndex = "POS16";
    return r;
}

POS_SETTING_INFO InfogenesisSource()
{
    POS_SETTING_INFO r = SerialFileSource();
    r.nMonitorType = KIND_INFOGENESIS;
    r.strFilePath.clear();
    r.strPosIndex = "POS7";
    std::strcpy(r.infogenesis.szIP, "10.1.2.3");
    r.infogenesis.nSendPort = 7001;
    r.infogenesis.nRecvPort = 7002;
    std::strcpy(r.infogenesis.szTerminalIDs, "5,7,100");
    return r;
}

void ExpectSameRecord(const POS_SETTING_INFO& want, const POS_SETTING_INFO& got)
{
    EXPECT_EQ(want.nMonitorType, got.nMonitorType);
    EXPECT_EQ(want.nReceiptType, got.nReceiptType);
    EXPECT_EQ(want.ePrinterType, got.ePrinterType);
    EXPECT_EQ(want.strPosIndex, got.strPosIndex);
    EXPECT_EQ(want.strFilePath, got.strFilePath);
    EXPECT_EQ(want.nInternetType, got.nInternetType);
    EXPECT_EQ(want.strInternetIP, got.strInternetIP);
    EXPECT_EQ(want.nInternetPort, got.nInternetPort);
    EXPECT_EQ(want.strPort, got.strPort);
    EXPECT_EQ(want.strPassword, got.strPassword);
    EXPECT_EQ(want.strBaudRate, got.strBaudRate);
    EXPECT_EQ(want.strDataBits, got.strDataBits);
    EXPECT_EQ(want.strParity, got.strParity);
    EXPECT_EQ(want.strStopBits, got.strStopBits);
    if (want.nMonitorType == KIND_INFOGENESIS) {
        EXPECT_STREQ(want.infogenesis.szIP, got.infogenesis.szIP);
        EXPECT_EQ(want.infogenesis.nSendPort, got.infogenesis.nSendPort);
        EXPECT_EQ(want.infogenesis.nRecvPort, got.infogenesis.nRecvPort);
        EXPECT_STREQ(want.infogenesis.szTerminalIDs, got.infogenesis.szTerminalIDs);
    }
}

}  // namespace

TEST_F(SettingsFixture, EveryKindRoundTripsInBothWritingDirections)
{
    const std::vector<POS_SETTING_INFO> records = {SerialFileSource(), TcpNetworkSource(0), TcpNetworkSource(1),
                                                   OposSource(), InfogenesisSource()};
    for (bool rtl : {false, true}) {
        SCOPED_TRACE(rtl ? "right-to-left" : "left-to-right");
        Save(records, rtl);
        LOADED_SETTINGS loaded = Load(rtl);
        ASSERT_EQ(records.size(), loaded.sources.size());
        for (size_t i = 0; i < records.size(); ++i)
            ExpectSameRecord(records[i], *loaded.sources[i].pRecord);
    }
}

TEST_F(SettingsFixture, RowsShowWhatTheListShowsForEachKind)
{
    Save({SerialFileSource(), TcpNetworkSource(0), TcpNetworkSource(1), OposSource(), InfogenesisSource()});
    LOADED_SETTINGS loaded = Load();
    const struct { const char *source, *pos, *port, *parameter; } want[] = {
        {"C:\\Receipts\\till one.txt", "POS3", "COM12", "9600,8,Space,1.5"},
        {"192.0.2.7 TCP(9100)", "POS1", "TCP(4000)", ""},
        {"192.0.2.7 UDP(9100)", "POS1", "TCP(4000)", ""},
        {"192.0.2.7 OPos(9100)", "POS16", "TCP(4000)", ""},
        {"Infogenesis: 10.1.2.3, 7001, 7002, 5,7,100", "POS7", "COM12", "9600,8,Space,1.5"},
    };
    ASSERT_EQ(5u, loaded.sources.size());
    for (size_t i = 0; i < 5; ++i) {
        const SOURCE_ROW_TEXT& row = loaded.sources[i].row;
        EXPECT_EQ(want[i].source, row.strSource) << i;
        EXPECT_EQ(want[i].pos, row.strPosIndex) << i;
        EXPECT_EQ(want[i].port, row.strPort) << i;
        EXPECT_EQ(want[i].parameter, row.strParameter) << i;
    }
}

TEST_F(SettingsFixture, SaveWritesTheFileFormOfEveryKey)
{
    Save({TcpNetworkSource(0), SerialFileSource()});
    EXPECT_EQ("2", Value("Main", "File Number"));
    EXPECT_EQ("8.5.7.0", Value("Version", "version"));
    EXPECT_EQ("TCP", Value("Setup1", "Printer Type"));
    EXPECT_EQ("TCP(4000)", Value("Setup1", "Port"));
    EXPECT_EQ("NULL", Value("Setup1", "BaudRate"));
    EXPECT_EQ("Serial", Value("Setup2", "Printer Type"));
    EXPECT_EQ("COM12", Value("Setup2", "Port"));
    // A file source's Infogenesis keys are written, empty and zero.
    EXPECT_EQ("", Value("Setup2", "Infogenesis_IP"));
    EXPECT_EQ("0", Value("Setup2", "Infogenesis_SendPort"));
    EXPECT_EQ("", Value("Setup2", "Infogenesis_TerminalID"));

    Save({TcpNetworkSource(0)}, true);
    EXPECT_EQ("(TCP(4000", Value("Setup1", "Port"));
}

TEST_F(SettingsFixture, PortThatAlreadyHoldsTcpIsNotWrappedTwice)
{
    POS_SETTING_INFO r = TcpNetworkSource(0);
    r.strPort = "TCP(4000)";
    Save({r});
    EXPECT_EQ("TCP(4000)", Value("Setup1", "Port"));
    Save({r}, true);
    EXPECT_EQ("TCP(4000)", Value("Setup1", "Port"));
}

TEST_F(SettingsFixture, EitherWrapperFormLoadsAsTheBarePortInEitherDirection)
{
    const struct { const char* stored; bool rtl; } cases[] = {
        {"TCP(4000)", false}, {"TCP(4000)", true}, {"(TCP(4000", false}, {"(TCP(4000", true},
    };
    for (const auto& c : cases) {
        WriteWholeFile(path, std::string("[Main]\r\nFile Number=1\r\n[Setup1]\r\nPrinter Type=TCP\r\nPort=") +
                                 c.stored + "\r\n");
        LOADED_SETTINGS loaded = Load(c.rtl);
        ASSERT_EQ(1u, loaded.sources.size());
        EXPECT_EQ("4000", loaded.sources[0].pRecord->strPort) << c.stored << " rtl=" << c.rtl;
        EXPECT_EQ(c.stored, loaded.sources[0].row.strPort);
        EXPECT_EQ(PRINTER_TYPE::Tcp, loaded.sources[0].pRecord->ePrinterType);
    }
}

TEST_F(SettingsFixture, DeletedLastSectionLeftBehindIsIgnored)
{
    Save({SerialFileSource(), TcpNetworkSource(0), OposSource()});
    Save({SerialFileSource(), TcpNetworkSource(0)});
    EXPECT_EQ("2", Value("Setup3", "Monitor Type"));  // the OPOS source stays in the file
    EXPECT_EQ(2u, Load().sources.size());
}

TEST_F(SettingsFixture, MissingKeysTakeTheirDefaults)
{
    WriteWholeFile(path,
                   "[Main]\r\nFile Number=3\r\n"
                   "[Setup1]\r\nMonitor Type=0\r\nFile Path=C:\\r.txt\r\nPort=COM1\r\n"
                   "[Setup2]\r\nMonitor Type=3\r\nPrinter Type=TCP\r\nPort=TCP(5000)\r\n");
    LOADED_SETTINGS loaded = Load();
    ASSERT_EQ(3u, loaded.sources.size());

    // Printer Type missing: a serial output with empty parameters.
    const POS_SETTING_INFO& noPrinter = *loaded.sources[0].pRecord;
    EXPECT_EQ(PRINTER_TYPE::Serial, noPrinter.ePrinterType);
    EXPECT_EQ(",,,", loaded.sources[0].row.strParameter);
    EXPECT_EQ(0, noPrinter.nReceiptType);

    // A kind-3 section without its keys.
    const POS_SETTING_INFO& info = *loaded.sources[1].pRecord;
    EXPECT_STREQ("127.0.0.1", info.infogenesis.szIP);
    EXPECT_EQ(0, info.infogenesis.nSendPort);
    EXPECT_EQ(0, info.infogenesis.nRecvPort);
    EXPECT_STREQ("999", info.infogenesis.szTerminalIDs);
    EXPECT_EQ("NULL", info.strBaudRate);

    // A missing section: a file source with an empty path.
    const POS_SETTING_INFO& missing = *loaded.sources[2].pRecord;
    EXPECT_EQ(KIND_FILE, missing.nMonitorType);
    EXPECT_EQ("", missing.strFilePath);
    EXPECT_EQ("", loaded.sources[2].row.strSource);
}

TEST_F(SettingsFixture, BrokenFilesLoadBoundedAndAreNotWritten)
{
    const std::string overlong(2000, 'x');
    const struct { std::string content; size_t expected; } cases[] = {
        {"", 0},
        {"garbage without sections\r\n\x01\x02\xff", 0},
        {"[Main]\r\nFile Number=abc\r\n", 0},
        {"[Main]\r\nFile Number=-5\r\n", 0},
        {"[Main]\r\nFile Number=99999999999999\r\n", 16},
        {"[Main]\r\nFile Number=40\r\n", 16},
        {"[Main]\r\nFile Number=2\r\n[Setup1]\r\nMonitor Type=zz\r\nInternet Port=--1\r\nFile Path=" + overlong +
             "\r\nPOS Index=" + overlong + "\r\n",
         2},
    };
    for (const auto& c : cases) {
        WriteWholeFile(path, c.content);
        LOADED_SETTINGS loaded = Load();
        EXPECT_EQ(c.expected, loaded.sources.size()) << c.content.substr(0, 40);
        for (const auto& source : loaded.sources) {
            EXPECT_LE(source.pRecord->strFilePath.size(), 259u);
            EXPECT_LE(source.pRecord->strPosIndex.size(), 259u);
        }
        EXPECT_EQ(c.content, ReadWholeFile(path)) << "loading must not write";
    }
}

TEST_F(SettingsFixture, MissingFileLoadsEmptyAndFirstSaveCreatesIt)
{
    EXPECT_TRUE(Load().sources.empty());
    EXPECT_EQ("", ReadWholeFile(path));
    Save({SerialFileSource()});
    EXPECT_EQ(1u, Load().sources.size());
}

// The program saves the sources whole and replaces the file in one step: the
// file's other sections stay, the profile functions read every key back, a
// deleted row's section goes with it, and a save that cannot be written leaves
// the old file exactly as it was, never a mixture of old and new sources.
TEST_F(SettingsFixture, TheProgramSavesTheWholeFileInOneStepAndKeepsTheRest)
{
    WriteWholeFile(path, "[Main]\r\nFile Number=0\r\n[Metrics]\r\nFolder=C:\\exporter\r\n[Window]\r\nWidth=700\r\n");
    CEngineHost host;
    CHostedEngine engine(host);
    engine.LoadSettings(path);
    engine.AddSource(std::make_unique<POS_SETTING_INFO>(SerialFileSource()));
    engine.AddSource(std::make_unique<POS_SETTING_INFO>(TcpNetworkSource(0)));
    ASSERT_TRUE(engine.SaveSettings(path));
    EXPECT_EQ("C:\\exporter", Value("Metrics", "Folder"));
    EXPECT_EQ("700", Value("Window", "Width"));
    LOADED_SETTINGS loaded = Load();
    ASSERT_EQ(2u, loaded.sources.size());
    EXPECT_EQ("POS3", loaded.sources[0].pRecord->strPosIndex);
    EXPECT_EQ("C:\\Receipts\\till one.txt", loaded.sources[0].pRecord->strFilePath);
    EXPECT_EQ("POS1", loaded.sources[1].pRecord->strPosIndex);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((path + ".tmp").c_str()));

    engine.DeleteSource(0);
    ASSERT_TRUE(engine.SaveSettings(path, true));
    EXPECT_EQ("<missing>", Value("Setup2", "Monitor Type")) << "the deleted row's section goes";
    ASSERT_EQ(1u, Load().sources.size());
    EXPECT_EQ("POS1", Load().sources[0].pRecord->strPosIndex);

    const std::string before = ReadWholeFile(path);
    ASSERT_TRUE(CreateDirectoryA((path + ".tmp").c_str(), nullptr)) << "the new file's place taken";
    engine.AddSource(std::make_unique<POS_SETTING_INFO>(OposSource()));
    EXPECT_FALSE(engine.SaveSettings(path));
    EXPECT_EQ(before, ReadWholeFile(path)) << "a failed save leaves the old file whole";
    RemoveDirectoryA((path + ".tmp").c_str());
}

