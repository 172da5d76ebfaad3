#pragma once
#include <string>

// Every per-source array in the program has this many entries.
constexpr int MAX_SOURCES = 16;

// Source kinds ("Monitor Type").
enum : int {
    KIND_FILE = 0,
    KIND_NETWORK = 1,
    KIND_OPOS = 2,
    KIND_INFOGENESIS = 3,
};

// The output towards the recorder ("Printer Type"). The settings file stores
// "Serial" or "TCP"; rows and dialogs show the language texts of the two.
enum class PRINTER_TYPE : int {
    Serial = 0,
    Tcp = 1,
};

constexpr int INFOGENESIS_TEXT_SIZE = 260;

// The Infogenesis block of a record; zero-filled as a whole when a record is made.
struct INFOGENESIS_SETTING {
    char szIP[INFOGENESIS_TEXT_SIZE] = {};
    int nRecvPort = 0;
    int nSendPort = 0;
    char szTerminalIDs[INFOGENESIS_TEXT_SIZE] = {};
    int nSlot = 0;  // connection slot given at each start; never saved
};

// The configuration of one source, as the settings file and the setting dialogs hold it.
struct POS_SETTING_INFO {
    int nMonitorType = -1;
    int nReceiptType = -1;
    PRINTER_TYPE ePrinterType = PRINTER_TYPE::Serial;
    std::string strPosIndex;
    std::string strFilePath;
    int nInternetType = -1;  // 0 TCP, 1 UDP, 2 OPOS
    std::string strInternetIP;
    int nInternetPort = 0;
    INFOGENESIS_SETTING infogenesis;
    std::string strPort;  // bare COM name or bare TCP port number
    std::string strPassword;
    std::string strBaudRate;
    std::string strDataBits;
    std::string strParity;
    std::string strStopBits;
    // Names the source's queue file, so that the file follows the source when
    // rows above it are deleted; 0 until the engine gives one.
    int nQueueId = 0;
};
