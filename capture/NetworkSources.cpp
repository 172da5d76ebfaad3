#include "capture/NetworkSources.h"

#include <algorithm>

std::vector<NETWORK_SOURCE> NetworkSourcesOf(const std::vector<const POS_SETTING_INFO*>& records)
{
    std::vector<NETWORK_SOURCE> sources;
    for (size_t i = 0; i < records.size() && i < static_cast<size_t>(MAX_SOURCES); ++i) {
        const POS_SETTING_INFO* record = records[i];
        if (record == nullptr || (record->nMonitorType != KIND_NETWORK && record->nMonitorType != KIND_OPOS))
            continue;
        if (record->nInternetPort < 1 || record->nInternetPort > 65535)
            continue;
        sources.push_back(NETWORK_SOURCE{static_cast<int>(i), record->strInternetIP,
                                         static_cast<unsigned short>(record->nInternetPort)});
    }
    return sources;
}

std::vector<unsigned short> DistinctPorts(const std::vector<NETWORK_SOURCE>& sources)
{
    std::vector<unsigned short> ports;
    for (const NETWORK_SOURCE& source : sources) {
        if (source.nPort != 0 && std::find(ports.begin(), ports.end(), source.nPort) == ports.end())
            ports.push_back(source.nPort);
    }
    return ports;
}

int MatchNetworkSource(const std::vector<NETWORK_SOURCE>& sources, const std::string& peerIP, unsigned short nPort)
{
    for (const NETWORK_SOURCE& source : sources) {
        if (source.nPort == nPort && source.strIP == peerIP)
            return source.nSource;
    }
    return -1;
}

int FirstSourceOnPort(const std::vector<NETWORK_SOURCE>& sources, unsigned short nPort)
{
    for (const NETWORK_SOURCE& source : sources) {
        if (source.nPort == nPort)
            return source.nSource;
    }
    return -1;
}
