#include "capture/InfogenesisMap.h"

#include <cstring>

std::vector<int> ParseTerminalIDs(const std::string& text)
{
    std::vector<int> ids;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string piece = text.substr(start, end - start);
        size_t i = 0;
        while (i < piece.size() && (piece[i] == ' ' || piece[i] == '\t'))
            ++i;
        // Leading digits only, and no overflow however long the piece is.
        long value = 0;
        bool bDigits = false;
        for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
            bDigits = true;
            if (value <= INFOGENESIS_TERMINAL_MAX)
                value = value * 10 + (piece[i] - '0');
        }
        if (bDigits && value >= INFOGENESIS_TERMINAL_MIN && value <= INFOGENESIS_TERMINAL_MAX)
            ids.push_back(static_cast<int>(value));
        start = end + 1;
    }
    return ids;
}

std::vector<INFOGENESIS_CONNECTION> GroupConnections(const std::vector<INFOGENESIS_SOURCE>& sources,
                                                     std::vector<int>& slotOfSource)
{
    std::vector<INFOGENESIS_CONNECTION> connections;
    slotOfSource.assign(sources.size(), -1);
    for (size_t i = 0; i < sources.size(); ++i) {
        const INFOGENESIS_SOURCE& source = sources[i];
        int nSlot = -1;
        for (size_t k = 0; k < i && nSlot < 0; ++k) {
            if (sources[k].strIP == source.strIP && sources[k].nSendPort == source.nSendPort &&
                sources[k].nRecvPort == source.nRecvPort)
                nSlot = slotOfSource[k];
        }
        if (nSlot < 0) {
            if (static_cast<int>(connections.size()) >= MAX_SOURCES)
                continue;
            INFOGENESIS_CONNECTION connection;
            connection.strIP = source.strIP;
            connection.nSendPort = source.nSendPort;
            connection.nRecvPort = source.nRecvPort;
            connections.push_back(connection);
            nSlot = static_cast<int>(connections.size()) - 1;
        }
        INFOGENESIS_CONNECTION& connection = connections[static_cast<size_t>(nSlot)];
        connection.sources.push_back(source.nSource);
        for (int id : ParseTerminalIDs(source.strTerminalIDs)) {
            if (static_cast<int>(connection.terminals.size()) >= INFOGENESIS_MAX_TERMINALS)
                break;
            connection.terminals.push_back(INFOGENESIS_TERMINAL{id, source.nSource});
        }
        slotOfSource[i] = nSlot;
    }
    return connections;
}

INFOGENESIS_CONNECT_RECORD BuildConnectRecord(const INFOGENESIS_CONNECTION& connection)
{
    INFOGENESIS_CONNECT_RECORD record;
    std::memset(&record, 0, sizeof record);
    std::strncpy(record.szIP, connection.strIP.c_str(), sizeof record.szIP - 1);
    record.nSendPort = connection.nSendPort;
    record.nRecvPort = connection.nRecvPort;
    int n = 0;
    for (const INFOGENESIS_TERMINAL& terminal : connection.terminals) {
        if (n >= INFOGENESIS_MAX_TERMINALS)
            break;
        record.nTerminalIDs[n++] = terminal.nTerminalID;
    }
    record.nTerminalCount = n;
    return record;
}

int SourceOfTerminal(const std::vector<INFOGENESIS_TERMINAL>& terminals, int nTerminalID)
{
    if (nTerminalID == 0)
        return -1;
    for (const INFOGENESIS_TERMINAL& terminal : terminals) {
        if (terminal.nTerminalID == nTerminalID)
            return terminal.nSource;
    }
    return -1;
}

INFOGENESIS_ROW_STATE RowStateOf(int nStatus)
{
    switch (nStatus) {
    case -1:
        return INFOGENESIS_ROW_STATE::Waiting;
    case 0:
        return INFOGENESIS_ROW_STATE::Connected;
    case 6:
        return INFOGENESIS_ROW_STATE::Reconnecting;
    default:
        return INFOGENESIS_ROW_STATE::Failed;
    }
}
