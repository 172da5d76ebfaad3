#pragma once
// The checks the source dialogs make before a record is written, and how it
// is then written: plain values in, a verdict or a record out.
#include "config/PosSettingInfo.h"
#include "config/SettingsFile.h"

#include <optional>
#include <string>
#include <vector>

constexpr int EDIT_MODE_NEW = 1;
constexpr int EDIT_MODE_MODIFY = 2;

// Texts longer than this do not fit the record's fixed fields or the settings
// file's read buffers (260 bytes with the terminating zero).
constexpr int RECORD_TEXT_MAX = 259;
constexpr int INTERNET_IP_MAX = 255;

using SOURCE_LIST = std::vector<const POS_SETTING_INFO*>;

// The working values of the source dialog when OK is pressed.
struct SOURCE_EDIT {
    int nMode = EDIT_MODE_NEW;
    int nMonitorType = KIND_FILE;
    int nEditIndex = -1;
    std::optional<PRINTER_TYPE> printerType;  // none when the list has no selection
    std::string strFilePath;
    std::string strPosIndex;
    std::string strPort;
    std::string strPassword;
    int nReceiptType = 0;
    std::string strBaudRate, strDataBits, strParity, strStopBits;
    int nInternetType = -1;
    std::string strInternetIP;
    int nInternetPort = 0;
    INFOGENESIS_SETTING infogenesis;
};

enum class EDIT_VERDICT {
    Accept,
    PortInUse,
    SelectFile,
    DeviceUsed,
    InputSetting,
    InputPosIndex,
    SelectPort,
    InputPort,
};

struct EDIT_CHECK {
    EDIT_VERDICT eVerdict = EDIT_VERDICT::Accept;
    int nPortShown = 0;  // the number IDS_PORT_IN_USE shows
};

// The language key of a verdict's message; null for Accept.
const char* VerdictMessageKey(EDIT_VERDICT eVerdict);

// The checks of the source dialog's OK in their order; the first failing one decides.
EDIT_CHECK CheckSourceEdit(const SOURCE_EDIT& edit, const SOURCE_LIST& records);

// Writes the edit into a record (a new one in mode 1, the edited one in mode 2).
void WriteSourceRecord(const SOURCE_EDIT& edit, POS_SETTING_INFO& record);

// The texts of a source's row after New or Modify: a TCP printer's port in
// its wrapper form, the line settings only for a serial printer.
SOURCE_ROW_TEXT EditedRowText(const POS_SETTING_INFO& record, bool bRightToLeft);

// A text into one of the record's fixed Infogenesis fields; false when it does not fit (nothing is copied then).
bool CopyToRecordField(char (&field)[INFOGENESIS_TEXT_SIZE], const std::string& text);

// Index of the first record whose POS Index equals the text, or -1.
int FindByPosIndex(const SOURCE_LIST& records, const std::string& posIndex);
// True when a picked file is watched by some source, unless it is the path already in the box.
bool FileUsedElsewhere(const SOURCE_LIST& records, const std::string& newPath, const std::string& currentPath);
// The number IDS_PORT_IN_USE shows for a port text: COM7 gives 7, "5111" gives 5111.
int PortNumberShown(const std::string& port);
// The network dialog's check: another TCP network source has this client IP and port.
bool NetworkEndpointInUse(const SOURCE_LIST& records, int nMode, int nEditIndex, const std::string& ip, int port);

// A client address as the network monitor compares it with a peer's: four
// decimal numbers 0 to 255 joined by dots, without blanks, signs or leading zeros.
bool IsIPv4Address(const std::string& text);

// A language text with one "%d" filled with a number. Only %d and %% are
// taken as directives, so a translated text cannot make the program read
// arguments it was not given.
std::string FormatWithNumber(const std::string& format, int number);

// The port button's caption forms.
std::string DefaultSerialCaption();  // "9600,None,8,1"
// As the dialog opens for an existing source: baud, parity, data bits, stop bits.
std::string StoredSerialCaption(const std::string& baud, const std::string& dataBits, const std::string& parity,
                                const std::string& stopBits);
// After the serial port dialog's OK: baud, data bits, parity, stop bits.
std::string ConfirmedSerialCaption(const std::string& baud, const std::string& dataBits, const std::string& parity,
                                   const std::string& stopBits);
// "<IDS_PTS_TCP_PORT text>=<port>".
std::string TcpPortCaption(const std::string& tcpPortText, const std::string& port);

// Serial port dialog: the four lists and what each shows selected.
extern const char* const BAUD_RATE_TEXTS[8];
extern const char* const DATA_BITS_TEXTS[4];
extern const char* const PARITY_TEXTS[5];
extern const char* const STOP_BITS_TEXTS[3];
constexpr const char* DEFAULT_BAUD_RATE = "9600";
constexpr const char* DEFAULT_DATA_BITS = "8";
constexpr const char* DEFAULT_PARITY = "None";
constexpr const char* DEFAULT_STOP_BITS = "1.0";

struct COM_SELECTION {
    int nBaudRate = -1;  // item index, -1 for none
    int nDataBits = -1;
    int nParity = -1;
    int nStopBits = -1;
};
COM_SELECTION ComPortSelection(int nMode, const std::string& baud, const std::string& dataBits,
                               const std::string& parity, const std::string& stopBits);

// The POS index list's item for a stored "POS3" (2), and the COM list's for "COM12" (11); -1 when outside the list.
int PosIndexItem(const std::string& posIndex);
int ComPortItem(const std::string& port);
constexpr int POS_INDEX_ITEMS = 16;
constexpr int COM_PORT_ITEMS = 36;
