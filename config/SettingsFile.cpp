#include "config/SettingsFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const char* const SETTINGS_VERSION = "8.5.7.0";
const size_t TEXT_BUFFER = 260;
const size_t INTERNET_IP_BUFFER = 256;
const size_t VERSION_BUFFER = 32;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

void CopyToField(char (&field)[INFOGENESIS_TEXT_SIZE], const std::string& text)
{
    const size_t n = std::min(text.size(), sizeof(field) - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

std::string Format(const char* format, const std::string& text, int number)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, text.c_str(), number);
    return buffer;
}

}  // namespace

std::string SetupSectionName(int index)
{
    return "Setup" + std::to_string(index + 1);
}

std::string WrapTcpPort(const std::string& port, bool bRightToLeft)
{
    return bRightToLeft ? "(TCP(" + port : "TCP(" + port + ")";
}

std::string UnwrapTcpPort(const std::string& stored)
{
    // Either wrapper form may be read in either writing direction: take what
    // follows "TCP(" and drop a closing bracket, so no wrapper character ends
    // up in the port number.
    const size_t at = stored.find("TCP");
    if (at == std::string::npos)
        return stored;
    std::string inner = stored.substr(at + 3);
    if (!inner.empty() && inner.front() == '(')
        inner.erase(0, 1);
    if (!inner.empty() && inner.back() == ')')
        inner.pop_back();
    return inner;
}

std::string SourceColumnText(const POS_SETTING_INFO& record)
{
    switch (record.nMonitorType) {
    case KIND_FILE:
        return record.strFilePath;
    case KIND_NETWORK:
        return Format(record.nInternetType == 1 ? "%s UDP(%d)" : "%s TCP(%d)", record.strInternetIP,
                      record.nInternetPort);
    case KIND_OPOS:
        return Format("%s OPos(%d)", record.strInternetIP, record.nInternetPort);
    case KIND_INFOGENESIS: {
        char buffer[700];
        std::snprintf(buffer, sizeof buffer, "Infogenesis: %s, %d, %d, %s", record.infogenesis.szIP,
                      record.infogenesis.nSendPort, record.infogenesis.nRecvPort, record.infogenesis.szTerminalIDs);
        return buffer;
    }
    default:
        return std::string();
    }
}

std::string ParameterColumnText(const POS_SETTING_INFO& record)
{
    return record.strBaudRate + "," + record.strDataBits + "," + record.strParity + "," + record.strStopBits;
}

LOADED_SETTINGS LoadSettingsFrom(CProfileStore& store, bool bRightToLeft)
{
    (void)bRightToLeft;  // both wrapper forms are recognised whatever the direction
    LOADED_SETTINGS loaded;
    store.GetString("Version", "version", "", VERSION_BUFFER);
    loaded.nFileNumber = store.GetInt("Main", "File Number", 0);
    const int count = std::clamp(loaded.nFileNumber, 0, MAX_SOURCES);

    for (int i = 0; i < count; ++i) {
        const std::string section = SetupSectionName(i);
        auto record = std::make_unique<POS_SETTING_INFO>();
        SOURCE_ROW_TEXT row;

        record->nMonitorType = store.GetInt(section, "Monitor Type", 0);
        record->nInternetType = store.GetInt(section, "Internet Type", 0);
        record->strInternetIP = store.GetString(section, "Internet IP", "", INTERNET_IP_BUFFER);
        record->nInternetPort = store.GetInt(section, "Internet Port", 0);

        if (record->nMonitorType == KIND_FILE) {
            record->strFilePath = store.GetString(section, "File Path", "", TEXT_BUFFER);
        } else if (record->nMonitorType == KIND_INFOGENESIS) {
            CopyToField(record->infogenesis.szIP,
                        store.GetString(section, "Infogenesis_IP", "127.0.0.1", INFOGENESIS_TEXT_SIZE));
            record->infogenesis.nSendPort = store.GetInt(section, "Infogenesis_SendPort", 0);
            record->infogenesis.nRecvPort = store.GetInt(section, "Infogenesis_RecvPort", 0);
            CopyToField(record->infogenesis.szTerminalIDs,
                        store.GetString(section, "Infogenesis_TerminalID", "999", INFOGENESIS_TEXT_SIZE));
        }
        row.strSource = SourceColumnText(*record);

        record->strPosIndex = store.GetString(section, "POS Index", "", TEXT_BUFFER);
        row.strPosIndex = record->strPosIndex;

        const std::string port = store.GetString(section, "Port", "", TEXT_BUFFER);
        record->strPort = UnwrapTcpPort(port);
        row.strPort = port;

        record->strPassword = store.GetString(section, "Password", "", TEXT_BUFFER);
        record->nReceiptType = store.GetInt(section, "Receipt Type", 0);
        record->nQueueId = std::max(0, store.GetInt(section, "Queue", 0));

        const std::string printerType = store.GetString(section, "Printer Type", "", TEXT_BUFFER);
        if (!Contains(printerType, "TCP")) {
            record->ePrinterType = PRINTER_TYPE::Serial;
            record->strBaudRate = store.GetString(section, "BaudRate", "", TEXT_BUFFER);
            record->strDataBits = store.GetString(section, "DataBits", "", TEXT_BUFFER);
            record->strParity = store.GetString(section, "Parity", "", TEXT_BUFFER);
            record->strStopBits = store.GetString(section, "StopBits", "", TEXT_BUFFER);
            row.strParameter = ParameterColumnText(*record);
        } else {
            record->ePrinterType = PRINTER_TYPE::Tcp;
            record->strBaudRate = record->strDataBits = record->strParity = record->strStopBits = "NULL";
        }
        loaded.sources.push_back(LOADED_SOURCE{std::move(record), row});
    }
    return loaded;
}

void SaveSettingsTo(CProfileStore& store, const std::vector<const POS_SETTING_INFO*>& records, bool bRightToLeft)
{
    store.WriteString("Main", "File Number", std::to_string(records.size()));
    store.WriteString("Version", "version", SETTINGS_VERSION);
    for (size_t i = 0; i < records.size(); ++i) {
        const POS_SETTING_INFO& r = *records[i];
        const std::string section = SetupSectionName(static_cast<int>(i));
        const bool bTcp = r.ePrinterType == PRINTER_TYPE::Tcp;
        std::string port = r.strPort;
        if (bTcp && !Contains(port, "TCP"))
            port = WrapTcpPort(port, bRightToLeft);

        store.WriteString(section, "Monitor Type", std::to_string(r.nMonitorType));
        store.WriteString(section, "Internet Type", std::to_string(r.nInternetType));
        store.WriteString(section, "Internet IP", r.strInternetIP);
        store.WriteString(section, "Internet Port", std::to_string(r.nInternetPort));
        store.WriteString(section, "File Path", r.strFilePath);
        store.WriteString(section, "POS Index", r.strPosIndex);
        store.WriteString(section, "Printer Type", bTcp ? "TCP" : "Serial");
        store.WriteString(section, "Port", port);
        store.WriteString(section, "Password", r.strPassword);
        store.WriteString(section, "BaudRate", r.strBaudRate);
        store.WriteString(section, "DataBits", r.strDataBits);
        store.WriteString(section, "Parity", r.strParity);
        store.WriteString(section, "StopBits", r.strStopBits);
        store.WriteString(section, "Receipt Type", std::to_string(r.nReceiptType));
        store.WriteString(section, "Infogenesis_IP", r.infogenesis.szIP);
        store.WriteString(section, "Infogenesis_SendPort", std::to_string(r.infogenesis.nSendPort));
        store.WriteString(section, "Infogenesis_RecvPort", std::to_string(r.infogenesis.nRecvPort));
        store.WriteString(section, "Infogenesis_TerminalID", r.infogenesis.szTerminalIDs);
        if (r.nQueueId > 0)
            store.WriteString(section, "Queue", std::to_string(r.nQueueId));
    }
}
