#pragma once
// How Infogenesis sources become connection objects: sources with the same
// server address and ports share one object, each claiming its terminal ids.
// Plain values only, decided once at start.
#include "capture/InfogenesisAbi.h"
#include "config/PosSettingInfo.h"

#include <string>
#include <vector>

constexpr int INFOGENESIS_TERMINAL_MIN = 1;
constexpr int INFOGENESIS_TERMINAL_MAX = 99999;

// One Infogenesis source as the start sequence sees it.
struct INFOGENESIS_SOURCE {
    int nSource = -1;
    std::string strIP;
    int nSendPort = 0;
    int nRecvPort = 0;
    std::string strTerminalIDs;
};

struct INFOGENESIS_TERMINAL {
    int nTerminalID = 0;
    int nSource = -1;
};

// One connection object: its server, and its terminal map (at most 16 pairs, in list order).
struct INFOGENESIS_CONNECTION {
    std::string strIP;
    int nSendPort = 0;
    int nRecvPort = 0;
    std::vector<int> sources;  // every source that uses it, in list order, each once
    std::vector<INFOGENESIS_TERMINAL> terminals;
};

// The terminal ids of a text such as "5,,x,100000,7": pieces split at commas,
// each read as a decimal number from its leading digits; only 1 to 99999 count.
std::vector<int> ParseTerminalIDs(const std::string& text);

// Groups the sources (in list order) into connection objects; slotOfSource[i]
// receives the object index of sources[i].
std::vector<INFOGENESIS_CONNECTION> GroupConnections(const std::vector<INFOGENESIS_SOURCE>& sources,
                                                     std::vector<int>& slotOfSource);

// The record handed to the library for one connection object.
INFOGENESIS_CONNECT_RECORD BuildConnectRecord(const INFOGENESIS_CONNECTION& connection);

// The source of the first map entry for nTerminalID; -1 when none (0 is never mapped).
int SourceOfTerminal(const std::vector<INFOGENESIS_TERMINAL>& terminals, int nTerminalID);

// Row suffix rules: what a library status means for a row.
enum class INFOGENESIS_ROW_STATE { Waiting, Connected, Reconnecting, Failed };
INFOGENESIS_ROW_STATE RowStateOf(int nStatus);
