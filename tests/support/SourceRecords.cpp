#include "tests/support/SourceRecords.h"

std::unique_ptr<POS_SETTING_INFO> EngineSource(int kind, PRINTER_TYPE printer, const std::string& port,
                                               const std::string& password)
{
    auto r = std::make_unique<POS_SETTING_INFO>();
    r->nMonitorType = kind;
    r->ePrinterType = printer;
    r->strPort = port;
    r->strPassword = password;
    r->strBaudRate = "9600";
    r->strDataBits = "8";
    r->strParity = "None";
    r->strStopBits = "1.0";
    return r;
}

namespace {

// A source of kind that sends to a recorder logging in on recorderPort.
POS_SETTING_INFO TcpRecord(int kind, const std::string& posIndex, unsigned short recorderPort,
                           const std::string& password)
{
    POS_SETTING_INFO r;
    r.nMonitorType = kind;
    r.nReceiptType = 0;
    r.nInternetType = 0;
    r.strPosIndex = posIndex;
    r.ePrinterType = PRINTER_TYPE::Tcp;
    r.strPort = std::to_string(recorderPort);
    r.strPassword = password;
    r.strBaudRate = r.strDataBits = r.strParity = r.strStopBits = "NULL";
    return r;
}

}  // namespace

POS_SETTING_INFO TcpFileSource(const std::string& path, const std::string& posIndex, unsigned short recorderPort,
                               const std::string& password)
{
    POS_SETTING_INFO r = TcpRecord(KIND_FILE, posIndex, recorderPort, password);
    r.strFilePath = path;
    return r;
}

POS_SETTING_INFO TcpNetworkSource(const std::string& client, unsigned short clientPort, unsigned short recorderPort,
                                  const std::string& password)
{
    POS_SETTING_INFO r = TcpRecord(KIND_NETWORK, "POS1", recorderPort, password);
    r.strInternetIP = client;
    r.nInternetPort = clientPort;
    return r;
}

std::string TcpSourceSection(int n, int kind, int port, const std::string& path)
{
    return "[Setup" + std::to_string(n) + "]\r\nMonitor Type=" + std::to_string(kind) + "\r\nFile Path=" + path +
           "\r\nPOS Index=POS" + std::to_string(n) + "\r\nPrinter Type=TCP\r\nPort=TCP(" + std::to_string(port) +
           ")\r\nPassword=pw\r\nReceipt Type=0\r\n";
}
