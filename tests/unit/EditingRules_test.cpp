#include "config/EditingRules.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

POS_SETTING_INFO FileSource(const std::string& pos, const std::string& port, const std::string& path)
{
    POS_SETTING_INFO r;
    r.nMonitorType = KIND_FILE;
    r.nInternetType = 0;  // as loading leaves it: Internet Type defaults to 0, the IP to empty
    r.strPosIndex = pos;
    r.strPort = port;
    r.strFilePath = path;
    return r;
}

POS_SETTING_INFO NetworkSource(const std::string& pos, const std::string& port, int internetType,
                               const std::string& ip, int internetPort)
{
    POS_SETTING_INFO r;
    r.nMonitorType = internetType == 2 ? KIND_OPOS : KIND_NETWORK;
    r.ePrinterType = PRINTER_TYPE::Tcp;
    r.strPosIndex = pos;
    r.strPort = port;
    r.nInternetType = internetType;
    r.strInternetIP = ip;
    r.nInternetPort = internetPort;
    return r;
}

SOURCE_EDIT NewSerialFile(const std::string& pos, const std::string& port, const std::string& path)
{
    SOURCE_EDIT e;
    e.nMode = EDIT_MODE_NEW;
    e.nMonitorType = KIND_FILE;
    e.printerType = PRINTER_TYPE::Serial;
    e.strPosIndex = pos;
    e.strPort = port;
    e.strPassword = "NULL";
    e.strFilePath = path;
    e.strBaudRate = "9600";
    e.strDataBits = "8";
    e.strParity = "None";
    e.strStopBits = "1.0";
    return e;
}

struct Sources {
    std::vector<POS_SETTING_INFO> records;
    SOURCE_LIST List() const
    {
        SOURCE_LIST list;
        for (const auto& r : records) list.push_back(&r);
        return list;
    }
};

}  // namespace

TEST(EditingRules, SourceDialogChecksInOrderInBothModes)
{
    Sources existing;
    existing.records = {FileSource("POS1", "COM3", "C:\\a.txt"),
                        NetworkSource("POS2", "6000", 0, "192.168.1.50", 5111),
                        FileSource("POS3", "COM4", "C:\\c.txt")};

    auto tcp = [](SOURCE_EDIT e, const std::string& port) {
        e.printerType = PRINTER_TYPE::Tcp;
        e.strPort = port;
        e.strPassword = port.empty() ? "" : "pw";
        return e;
    };
    auto modify = [](SOURCE_EDIT e, int index) {
        e.nMode = EDIT_MODE_MODIFY;
        e.nEditIndex = index;
        return e;
    };
    auto with = [](SOURCE_EDIT e, auto change) {
        change(e);
        return e;
    };

    const struct {
        const char* name;
        SOURCE_EDIT edit;
        EDIT_VERDICT want;
        int port;
    } cases[] = {
        {"new on a free COM port", NewSerialFile("POS4", "COM5", "C:\\d.txt"), EDIT_VERDICT::Accept, 0},
        {"second source on COM3", NewSerialFile("POS4", "COM3", "C:\\d.txt"), EDIT_VERDICT::PortInUse, 3},
        {"TCP printer on a network source's listening port",
         tcp(NewSerialFile("POS4", "", "C:\\d.txt"), "5111"), EDIT_VERDICT::PortInUse, 5111},
        {"TCP printer on another source's printer port", tcp(NewSerialFile("POS4", "", "C:\\d.txt"), "6000"),
         EDIT_VERDICT::PortInUse, 6000},
        {"port in use comes before a missing POS index", NewSerialFile("", "COM3", ""), EDIT_VERDICT::PortInUse, 3},
        {"port but no POS index", NewSerialFile("", "COM5", "C:\\d.txt"), EDIT_VERDICT::InputPosIndex, 0},
        {"new with an empty line setting",
         with(NewSerialFile("POS4", "COM5", "C:\\d.txt"), [](SOURCE_EDIT& e) { e.strParity.clear(); }),
         EDIT_VERDICT::InputSetting, 0},
        {"file source with a port but no file", NewSerialFile("POS4", "COM5", ""), EDIT_VERDICT::SelectFile, 0},
        {"POS index of another source", NewSerialFile("POS3", "COM5", "C:\\d.txt"), EDIT_VERDICT::DeviceUsed, 0},
        {"no file comes before a used POS index", NewSerialFile("POS3", "COM5", ""), EDIT_VERDICT::SelectFile, 0},
        {"neither port nor file", NewSerialFile("POS4", "", ""), EDIT_VERDICT::InputSetting, 0},
        {"no port, no POS index", NewSerialFile("", "", "C:\\d.txt"), EDIT_VERDICT::InputPosIndex, 0},
        {"no port, serial printer", NewSerialFile("POS4", "", "C:\\d.txt"), EDIT_VERDICT::SelectPort, 0},
        {"no port, TCP printer never confirmed", tcp(NewSerialFile("POS4", "", "C:\\d.txt"), ""),
         EDIT_VERDICT::InputPort, 0},
        {"network source needs no file",
         with(tcp(NewSerialFile("POS4", "", ""), "7000"), [](SOURCE_EDIT& e) { e.nMonitorType = KIND_NETWORK; }),
         EDIT_VERDICT::Accept, 0},
        {"modify unchanged: own port and POS index skipped", modify(NewSerialFile("POS1", "COM3", "C:\\a.txt"), 0),
         EDIT_VERDICT::Accept, 0},
        {"modify onto another source's COM port", modify(NewSerialFile("POS1", "COM4", "C:\\a.txt"), 0),
         EDIT_VERDICT::PortInUse, 4},
        {"modify: TCP port equal to the source's own listening port counts as in use",
         modify(with(tcp(NewSerialFile("POS2", "", ""), "5111"), [](SOURCE_EDIT& e) { e.nMonitorType = KIND_NETWORK; }), 1),
         EDIT_VERDICT::PortInUse, 5111},
        {"modify: own TCP printer port kept",
         modify(with(tcp(NewSerialFile("POS2", "", ""), "6000"), [](SOURCE_EDIT& e) { e.nMonitorType = KIND_NETWORK; }), 1),
         EDIT_VERDICT::Accept, 0},
        {"modify onto another source's POS index", modify(NewSerialFile("POS3", "COM3", "C:\\a.txt"), 0),
         EDIT_VERDICT::DeviceUsed, 0},
        {"modify with empty line settings is not silent",
         modify(with(NewSerialFile("POS1", "COM3", "C:\\a.txt"),
                     [](SOURCE_EDIT& e) { e.strBaudRate = e.strDataBits = e.strParity = e.strStopBits = ""; }), 0),
         EDIT_VERDICT::Accept, 0},
        {"modify, port but no POS index", modify(NewSerialFile("", "COM3", "C:\\a.txt"), 0),
         EDIT_VERDICT::InputPosIndex, 0},
        {"modify, file source, port, no file", modify(NewSerialFile("POS1", "COM3", ""), 0), EDIT_VERDICT::SelectFile, 0},
        {"modify, neither port nor file", modify(NewSerialFile("POS1", "", ""), 0), EDIT_VERDICT::InputSetting, 0},
        {"modify, no port, no POS index", modify(NewSerialFile("", "", "C:\\a.txt"), 0), EDIT_VERDICT::InputPosIndex, 0},
        {"modify, no port, TCP printer", modify(tcp(NewSerialFile("POS1", "", "C:\\a.txt"), ""), 0),
         EDIT_VERDICT::InputPort, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const EDIT_CHECK check = CheckSourceEdit(c.edit, existing.List());
        EXPECT_EQ(c.want, check.eVerdict);
        // A refusal without a word looks like a broken button.
        if (check.eVerdict != EDIT_VERDICT::Accept) {
            EXPECT_NE(nullptr, VerdictMessageKey(check.eVerdict));
        }
        if (c.want == EDIT_VERDICT::PortInUse) {
            EXPECT_EQ(c.port, check.nPortShown);
        }
    }
}

TEST(EditingRules, EmptySourceListAcceptsAndMessagesHaveTheirKeys)
{
    EXPECT_EQ(EDIT_VERDICT::Accept, CheckSourceEdit(NewSerialFile("POS1", "COM5", "C:\\a.txt"), {}).eVerdict);
    EXPECT_EQ(-1, FindByPosIndex({}, "POS1"));
    EXPECT_STREQ("IDS_PORT_IN_USE", VerdictMessageKey(EDIT_VERDICT::PortInUse));
    EXPECT_STREQ("IDS_PTS_WARNING_SELECT_FILE", VerdictMessageKey(EDIT_VERDICT::SelectFile));
    EXPECT_STREQ("IDS_PTS_WARNING_DEVICE_USED", VerdictMessageKey(EDIT_VERDICT::DeviceUsed));
    EXPECT_STREQ("IDS_PTS_WARNING_INPUT_SETTING", VerdictMessageKey(EDIT_VERDICT::InputSetting));
    EXPECT_STREQ("IDS_PTS_WARNING_INPUT_POS_INDEX", VerdictMessageKey(EDIT_VERDICT::InputPosIndex));
    EXPECT_STREQ("IDS_PTS_WARNING_SELECT_PORT", VerdictMessageKey(EDIT_VERDICT::SelectPort));
    EXPECT_STREQ("IDS_PTS_WARNING_INPUT_PORT", VerdictMessageKey(EDIT_VERDICT::InputPort));
    EXPECT_EQ(nullptr, VerdictMessageKey(EDIT_VERDICT::Accept));
}

TEST(EditingRules, PortNumberShownAndTheMessageFormat)
{
    const struct { const char* port; int want; } cases[] = {
        {"COM7", 7}, {"COM12", 12}, {"5111", 5111}, {"COM", 0}, {"xCOM3", 0}, {"TCP(4000)", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, PortNumberShown(c.port)) << c.port;

    EXPECT_EQ("Port 5111 is already used by another source.",
              FormatWithNumber("Port %d is already used by another source.", 5111));
    // Directives other than one %d are left as text: a translation cannot make the program read a string.
    EXPECT_EQ("%s 7 %d 100%", FormatWithNumber("%s %d %d 100%%", 7));
    EXPECT_EQ("", FormatWithNumber("", 7));
    EXPECT_EQ("ends with %", FormatWithNumber("ends with %", 7));
}

TEST(EditingRules, WritingTheRecordByKindAndPrinter)
{
    // Mode 1, serial file source.
    POS_SETTING_INFO fresh;
    SOURCE_EDIT e = NewSerialFile("POS4", "COM5", "C:\\d.txt");
    e.nReceiptType = 1;
    WriteSourceRecord(e, fresh);
    EXPECT_EQ(KIND_FILE, fresh.nMonitorType);
    EXPECT_EQ(PRINTER_TYPE::Serial, fresh.ePrinterType);
    EXPECT_EQ("C:\\d.txt", fresh.strFilePath);
    EXPECT_EQ("POS4", fresh.strPosIndex);
    EXPECT_EQ("COM5", fresh.strPort);
    EXPECT_EQ("NULL", fresh.strPassword);
    EXPECT_EQ(1, fresh.nReceiptType);
    EXPECT_EQ(-1, fresh.nInternetType) << "a file source keeps the new record's network values";
    EXPECT_EQ("9600,8,None,1.0", fresh.strBaudRate + "," + fresh.strDataBits + "," + fresh.strParity + "," + fresh.strStopBits);

    // Mode 2 into a file source turned into a TCP-printer network source: the path goes, NULL line settings.
    SOURCE_EDIT n = NewSerialFile("POS4", "7000", "ignored");
    n.nMode = EDIT_MODE_MODIFY;
    n.nMonitorType = KIND_NETWORK;
    n.printerType = PRINTER_TYPE::Tcp;
    n.strPassword = "secret";
    n.nInternetType = 0;
    n.strInternetIP = "10.0.0.9";
    n.nInternetPort = 5111;
    WriteSourceRecord(n, fresh);
    EXPECT_EQ("", fresh.strFilePath);
    EXPECT_EQ(0, fresh.nInternetType);
    EXPECT_EQ("10.0.0.9", fresh.strInternetIP);
    EXPECT_EQ(5111, fresh.nInternetPort);
    EXPECT_EQ(PRINTER_TYPE::Tcp, fresh.ePrinterType);
    EXPECT_EQ("secret", fresh.strPassword);
    EXPECT_EQ("NULL,NULL,NULL,NULL", fresh.strBaudRate + "," + fresh.strDataBits + "," + fresh.strParity + "," + fresh.strStopBits);

    // Infogenesis: the whole block, slot 0.
    SOURCE_EDIT g = NewSerialFile("POS5", "7001", "");
    g.nMonitorType = KIND_INFOGENESIS;
    g.printerType = PRINTER_TYPE::Tcp;
    snprintf(g.infogenesis.szIP, sizeof g.infogenesis.szIP, "%s", "10.1.1.1");
    snprintf(g.infogenesis.szTerminalIDs, sizeof g.infogenesis.szTerminalIDs, "%s", "111,222");
    g.infogenesis.nSendPort = 7;
    g.infogenesis.nRecvPort = 8;
    g.infogenesis.nSlot = 5;
    POS_SETTING_INFO info;
    WriteSourceRecord(g, info);
    EXPECT_STREQ("10.1.1.1", info.infogenesis.szIP);
    EXPECT_STREQ("111,222", info.infogenesis.szTerminalIDs);
    EXPECT_EQ(7, info.infogenesis.nSendPort);
    EXPECT_EQ(8, info.infogenesis.nRecvPort);
    EXPECT_EQ(0, info.infogenesis.nSlot);

    // Mode 2, serial, four empty line settings: the defaults are stored.
    SOURCE_EDIT m = NewSerialFile("POS1", "COM3", "C:\\a.txt");
    m.nMode = EDIT_MODE_MODIFY;
    m.strBaudRate = m.strDataBits = m.strParity = m.strStopBits = "";
    POS_SETTING_INFO old = FileSource("POS1", "COM3", "C:\\a.txt");
    WriteSourceRecord(m, old);
    EXPECT_EQ("9600,8,None,1.0", old.strBaudRate + "," + old.strDataBits + "," + old.strParity + "," + old.strStopBits);
}

TEST(EditingRules, CaptionForms)
{
    EXPECT_EQ("9600,None,8,1", DefaultSerialCaption());
    EXPECT_EQ("19200,Even,7,2.0", StoredSerialCaption("19200", "7", "Even", "2.0"));
    EXPECT_EQ("19200,7,Even,2.0", ConfirmedSerialCaption("19200", "7", "Even", "2.0"));
    EXPECT_EQ("TCP Port=4000", TcpPortCaption("TCP Port", "4000"));
    EXPECT_EQ("=4000", TcpPortCaption("", "4000"));
}

TEST(EditingRules, ComPortDialogSelections)
{
    const struct {
        const char* name;
        int mode;
        const char *baud, *data, *parity, *stop;
        COM_SELECTION want;
    } cases[] = {
        {"new: defaults whatever is held", EDIT_MODE_NEW, "115200", "5", "Odd", "2.0", {3, 3, 0, 0}},
        {"modify: stored values", EDIT_MODE_MODIFY, "19200", "7", "Even", "2.0", {4, 2, 2, 2}},
        {"modify: unknown baud gives all defaults", EDIT_MODE_MODIFY, "14400", "7", "Even", "2.0", {3, 3, 0, 0}},
        {"modify: unknown parity leaves that list empty", EDIT_MODE_MODIFY, "19200", "7", "even", "2.0", {4, 2, -1, 2}},
        {"modify: empty values with a known baud", EDIT_MODE_MODIFY, "1200", "", "", "", {0, -1, -1, -1}},
        {"other mode: no selection", 0, "9600", "8", "None", "1.0", {-1, -1, -1, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const COM_SELECTION s = ComPortSelection(c.mode, c.baud, c.data, c.parity, c.stop);
        EXPECT_EQ(c.want.nBaudRate, s.nBaudRate);
        EXPECT_EQ(c.want.nDataBits, s.nDataBits);
        EXPECT_EQ(c.want.nParity, s.nParity);
        EXPECT_EQ(c.want.nStopBits, s.nStopBits);
    }
    EXPECT_STREQ("38400", BAUD_RATE_TEXTS[5]);
    EXPECT_STREQ("115200", BAUD_RATE_TEXTS[7]);
}

TEST(EditingRules, ListItemsOfStoredTexts)
{
    const struct { const char* text; int pos; int com; } cases[] = {
        {"POS3", 2, -1}, {"POS16", 15, -1}, {"POS17", -1, -1}, {"POS0", -1, -1}, {"", -1, -1},
        {"COM12", -1, 11}, {"COM36", -1, 35}, {"COM40", -1, -1}, {"COM", -1, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.pos, PosIndexItem(c.text)) << c.text;
        EXPECT_EQ(c.com, ComPortItem(c.text)) << c.text;
    }
}

TEST(EditingRules, SameFileAndNetworkEndpoint)
{
    Sources s;
    s.records = {FileSource("POS1", "COM3", "C:\\a.txt"), NetworkSource("POS2", "6000", 0, "192.168.1.50", 5111),
                 NetworkSource("POS3", "6001", 1, "192.168.1.51", 5112),
                 NetworkSource("POS4", "6002", 2, "127.0.0.1", 5113)};
    EXPECT_TRUE(FileUsedElsewhere(s.List(), "C:\\a.txt", ""));
    EXPECT_FALSE(FileUsedElsewhere(s.List(), "C:\\a.txt", "C:\\a.txt")) << "this source's own file";
    EXPECT_FALSE(FileUsedElsewhere(s.List(), "C:\\A.txt", "")) << "compared exactly";
    EXPECT_FALSE(FileUsedElsewhere(s.List(), "C:\\b.txt", "C:\\x.txt"));

    const struct { const char* name; int mode; int index; const char* ip; int port; bool want; } cases[] = {
        {"same TCP endpoint", EDIT_MODE_NEW, 4, "192.168.1.50", 5111, true},
        {"other client IP", EDIT_MODE_NEW, 4, "192.168.1.60", 5111, false},
        {"other port", EDIT_MODE_NEW, 4, "192.168.1.50", 5112, false},
        {"own record skipped in modify", EDIT_MODE_MODIFY, 1, "192.168.1.50", 5111, false},
        {"UDP never compared", EDIT_MODE_NEW, 4, "192.168.1.51", 5112, false},
        {"OPOS never compared", EDIT_MODE_NEW, 4, "127.0.0.1", 5113, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.want, NetworkEndpointInUse(s.List(), c.mode, c.index, c.ip, c.port)) << c.name;
}

TEST(EditingRules, RowTextsAfterAnEdit)
{
    POS_SETTING_INFO serial = FileSource("POS1", "COM3", "C:\\a.txt");
    serial.strBaudRate = "19200";
    serial.strDataBits = "7";
    serial.strParity = "Even";
    serial.strStopBits = "2.0";
    SOURCE_ROW_TEXT row = EditedRowText(serial, false);
    EXPECT_EQ("C:\\a.txt", row.strSource);
    EXPECT_EQ("POS1", row.strPosIndex);
    EXPECT_EQ("COM3", row.strPort);
    EXPECT_EQ("19200,7,Even,2.0", row.strParameter);

    POS_SETTING_INFO tcp = NetworkSource("POS2", "4000", 1, "10.0.0.2", 5111);
    row = EditedRowText(tcp, false);
    EXPECT_EQ("10.0.0.2 UDP(5111)", row.strSource);
    EXPECT_EQ("TCP(4000)", row.strPort);
    EXPECT_EQ("", row.strParameter);
    EXPECT_EQ("(TCP(4000", EditedRowText(tcp, true).strPort);
    tcp.nMonitorType = KIND_OPOS;
    EXPECT_EQ("10.0.0.2 OPos(5111)", EditedRowText(tcp, false).strSource);
}

TEST(EditingRules, RecordFieldsTakeWhatFitsAndRefuseTheRest)
{
    char field[INFOGENESIS_TEXT_SIZE] = "old";
    EXPECT_TRUE(CopyToRecordField(field, std::string(259, 'a')));
    EXPECT_EQ(std::string(259, 'a'), field);
    EXPECT_FALSE(CopyToRecordField(field, std::string(260, 'b')));
    EXPECT_EQ(std::string(259, 'a'), field) << "a refused text leaves the field as it was";
    EXPECT_TRUE(CopyToRecordField(field, ""));
    EXPECT_STREQ("", field);
}

TEST(EditingRules, ClientAddressIsFourNumbersFrom0To255)
{
    const struct { const char* text; bool ok; } cases[] = {
        {"192.168.0.100", true},
        {"0.0.0.0", true},
        {"255.255.255.255", true},
        {"127.0.0.2", true},
        {"192.168.0.1127.0.0.100", false},  // two addresses typed into one box
        {"192.168.0.256", false},
        {"192.168.0", false},
        {"192.168.0.1.5", false},
        {"192.168..1", false},
        {".192.168.0.1", false},
        {"192.168.0.1.", false},
        {"192.168.0.01", false},  // read as octal by some resolvers, never equal to a peer's address
        {"1000.1.1.1", false},
        {" 192.168.0.1", false},
        {"192.168.0.1 ", false},
        {"192.168.0.-1", false},
        {"+1.2.3.4", false},
        {"till-1", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.ok, IsIPv4Address(c.text)) << c.text;
}
