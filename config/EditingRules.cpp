#include "config/EditingRules.h"

#include <cstdlib>
#include <cstring>

const char* const BAUD_RATE_TEXTS[8] = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
const char* const DATA_BITS_TEXTS[4] = {"5", "6", "7", "8"};
const char* const PARITY_TEXTS[5] = {"None", "Odd", "Even", "Mark", "Space"};
const char* const STOP_BITS_TEXTS[3] = {"1.0", "1.5", "2.0"};

namespace {

bool ContainsCom(const std::string& text) { return text.find("COM") != std::string::npos; }

// The leading decimal number of a text, as the C library reads it; 0 without one.
int DecimalOf(const std::string& text)
{
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > 2147483647L || value < -2147483647L - 1)
        return 0;
    return static_cast<int>(value);
}

template <size_t N>
int IndexIn(const char* const (&texts)[N], const std::string& text)
{
    for (size_t i = 0; i < N; ++i)
        if (text == texts[i])
            return static_cast<int>(i);
    return -1;
}

bool PortInUse(const SOURCE_EDIT& edit, const SOURCE_LIST& records)
{
    const bool bCom = ContainsCom(edit.strPort);
    const int number = DecimalOf(edit.strPort);
    for (size_t i = 0; i < records.size(); ++i) {
        const bool bSelf = edit.nMode == EDIT_MODE_MODIFY && static_cast<int>(i) == edit.nEditIndex;
        if (!bSelf && records[i]->strPort == edit.strPort)
            return true;
        // The network listener of any source, the edited one included, holds its port.
        if (!bCom && records[i]->nInternetPort == number)
            return true;
    }
    return false;
}

EDIT_CHECK Verdict(EDIT_VERDICT eVerdict, int nPortShown = 0) { return EDIT_CHECK{eVerdict, nPortShown}; }

}  // namespace

const char* VerdictMessageKey(EDIT_VERDICT eVerdict)
{
    switch (eVerdict) {
    case EDIT_VERDICT::PortInUse: return "IDS_PORT_IN_USE";
    case EDIT_VERDICT::SelectFile: return "IDS_PTS_WARNING_SELECT_FILE";
    case EDIT_VERDICT::DeviceUsed: return "IDS_PTS_WARNING_DEVICE_USED";
    case EDIT_VERDICT::InputSetting: return "IDS_PTS_WARNING_INPUT_SETTING";
    case EDIT_VERDICT::InputPosIndex: return "IDS_PTS_WARNING_INPUT_POS_INDEX";
    case EDIT_VERDICT::SelectPort: return "IDS_PTS_WARNING_SELECT_PORT";
    case EDIT_VERDICT::InputPort: return "IDS_PTS_WARNING_INPUT_PORT";
    case EDIT_VERDICT::Accept: break;
    }
    return nullptr;
}

EDIT_CHECK CheckSourceEdit(const SOURCE_EDIT& edit, const SOURCE_LIST& records)
{
    const bool bModify = edit.nMode == EDIT_MODE_MODIFY;
    if (!edit.strPort.empty()) {
        if (PortInUse(edit, records))
            return Verdict(EDIT_VERDICT::PortInUse, PortNumberShown(edit.strPort));
        if (edit.strPosIndex.empty())
            return Verdict(EDIT_VERDICT::InputPosIndex);
        if (!bModify && (edit.strBaudRate.empty() || edit.strDataBits.empty() || edit.strParity.empty() ||
                         edit.strStopBits.empty()))
            return Verdict(EDIT_VERDICT::InputSetting);
        if (edit.nMonitorType == KIND_FILE && edit.strFilePath.empty())
            return Verdict(EDIT_VERDICT::SelectFile);
        const int owner = FindByPosIndex(records, edit.strPosIndex);
        if (owner >= 0 && (!bModify || owner != edit.nEditIndex))
            return Verdict(EDIT_VERDICT::DeviceUsed);
        return Verdict(EDIT_VERDICT::Accept);
    }
    if (edit.nMonitorType == KIND_FILE && edit.strFilePath.empty())
        return Verdict(EDIT_VERDICT::InputSetting);
    if (edit.strPosIndex.empty())
        return Verdict(EDIT_VERDICT::InputPosIndex);
    if (edit.printerType == PRINTER_TYPE::Serial)
        return Verdict(EDIT_VERDICT::SelectPort);
    if (edit.printerType == PRINTER_TYPE::Tcp)
        return Verdict(EDIT_VERDICT::InputPort);
    return Verdict(EDIT_VERDICT::InputSetting);
}

void WriteSourceRecord(const SOURCE_EDIT& edit, POS_SETTING_INFO& record)
{
    record.nMonitorType = edit.nMonitorType;
    if (edit.printerType)
        record.ePrinterType = *edit.printerType;
    switch (edit.nMonitorType) {
    case KIND_FILE:
        record.strFilePath = edit.strFilePath;
        break;
    case KIND_NETWORK:
    case KIND_OPOS:
        record.strFilePath.clear();
        record.nInternetType = edit.nInternetType;
        record.strInternetIP = edit.strInternetIP;
        record.nInternetPort = edit.nInternetPort;
        break;
    case KIND_INFOGENESIS:
        record.infogenesis = edit.infogenesis;
        record.infogenesis.nSlot = 0;
        break;
    default:
        break;
    }
    record.strPosIndex = edit.strPosIndex;
    record.strPort = edit.strPort;
    record.strPassword = edit.strPassword;
    record.nReceiptType = edit.nReceiptType;

    if (record.ePrinterType == PRINTER_TYPE::Tcp) {
        record.strBaudRate = record.strDataBits = record.strParity = record.strStopBits = "NULL";
    } else if (edit.nMode == EDIT_MODE_MODIFY && edit.strBaudRate.empty() && edit.strDataBits.empty() &&
               edit.strParity.empty() && edit.strStopBits.empty()) {
        record.strBaudRate = DEFAULT_BAUD_RATE;
        record.strDataBits = DEFAULT_DATA_BITS;
        record.strParity = DEFAULT_PARITY;
        record.strStopBits = DEFAULT_STOP_BITS;
    } else {
        record.strBaudRate = edit.strBaudRate;
        record.strDataBits = edit.strDataBits;
        record.strParity = edit.strParity;
        record.strStopBits = edit.strStopBits;
    }
}

int FindByPosIndex(const SOURCE_LIST& records, const std::string& posIndex)
{
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i]->strPosIndex == posIndex)
            return static_cast<int>(i);
    return -1;
}

bool FileUsedElsewhere(const SOURCE_LIST& records, const std::string& newPath, const std::string& currentPath)
{
    if (newPath == currentPath)
        return false;
    for (const POS_SETTING_INFO* record : records)
        if (record->strFilePath == newPath)
            return true;
    return false;
}

int PortNumberShown(const std::string& port)
{
    return ContainsCom(port) ? DecimalOf(port.size() > 3 ? port.substr(3) : std::string()) : DecimalOf(port);
}

bool NetworkEndpointInUse(const SOURCE_LIST& records, int nMode, int nEditIndex, const std::string& ip, int port)
{
    for (size_t i = 0; i < records.size(); ++i) {
        if (nMode == EDIT_MODE_MODIFY && static_cast<int>(i) == nEditIndex)
            continue;
        const POS_SETTING_INFO& r = *records[i];
        if (r.nInternetType == 0 && r.strInternetIP == ip && r.nInternetPort == port)
            return true;
    }
    return false;
}

bool IsIPv4Address(const std::string& text)
{
    int nParts = 0;
    size_t at = 0;
    while (true) {
        const size_t start = at;
        int value = 0;
        while (at < text.size() && at - start < 4 && text[at] >= '0' && text[at] <= '9')
            value = value * 10 + (text[at++] - '0');
        const size_t digits = at - start;
        if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[start] == '0'))
            return false;
        if (++nParts == 4)
            return at == text.size();
        if (at >= text.size() || text[at] != '.')
            return false;
        ++at;
    }
}

std::string FormatWithNumber(const std::string& format, int number)
{
    std::string out;
    bool bFilled = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (format[i + 1] == 'd' && !bFilled) {
                out += std::to_string(number);
                bFilled = true;
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

std::string DefaultSerialCaption() { return "9600,None,8,1"; }

std::string StoredSerialCaption(const std::string& baud, const std::string& dataBits, const std::string& parity,
                                const std::string& stopBits)
{
    return baud + "," + parity + "," + dataBits + "," + stopBits;
}

std::string ConfirmedSerialCaption(const std::string& baud, const std::string& dataBits, const std::string& parity,
                                   const std::string& stopBits)
{
    return baud + "," + dataBits + "," + parity + "," + stopBits;
}

std::string TcpPortCaption(const std::string& tcpPortText, const std::string& port) { return tcpPortText + "=" + port; }

COM_SELECTION ComPortSelection(int nMode, const std::string& baud, const std::string& dataBits,
                               const std::string& parity, const std::string& stopBits)
{
    const COM_SELECTION defaults{3, 3, 0, 0};
    if (nMode == EDIT_MODE_NEW)
        return defaults;
    if (nMode != EDIT_MODE_MODIFY)
        return COM_SELECTION{};
    const int nBaud = IndexIn(BAUD_RATE_TEXTS, baud);
    if (nBaud < 0)
        return defaults;
    return COM_SELECTION{nBaud, IndexIn(DATA_BITS_TEXTS, dataBits), IndexIn(PARITY_TEXTS, parity),
                         IndexIn(STOP_BITS_TEXTS, stopBits)};
}

namespace {
int ItemAfterPrefix(const std::string& text, const char* prefix, int count)
{
    if (text.compare(0, 3, prefix) != 0 || text.size() <= 3)
        return -1;
    const int n = DecimalOf(text.substr(3));
    return n >= 1 && n <= count ? n - 1 : -1;
}
}  // namespace

int PosIndexItem(const std::string& posIndex) { return ItemAfterPrefix(posIndex, "POS", POS_INDEX_ITEMS); }
int ComPortItem(const std::string& port) { return ItemAfterPrefix(port, "COM", COM_PORT_ITEMS); }

SOURCE_ROW_TEXT EditedRowText(const POS_SETTING_INFO& record, bool bRightToLeft)
{
    SOURCE_ROW_TEXT row;
    row.strSource = SourceColumnText(record);
    row.strPosIndex = record.strPosIndex;
    if (record.ePrinterType == PRINTER_TYPE::Serial) {
        row.strPort = record.strPort;
        row.strParameter = ParameterColumnText(record);
    } else {
        row.strPort = record.strPort.find("TCP") == std::string::npos ? WrapTcpPort(record.strPort, bRightToLeft)
                                                                      : record.strPort;
    }
    return row;
}

bool CopyToRecordField(char (&field)[INFOGENESIS_TEXT_SIZE], const std::string& text)
{
    if (text.size() >= sizeof field)
        return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}
