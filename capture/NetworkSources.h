#pragma once
// The pure half of the network monitor: which sources listen on which ports,
// and which source a peer's connection belongs to.
#include "config/PosSettingInfo.h"

#include <cstdint>
#include <string>
#include <vector>

// A source that receives from a POS client over TCP: the client's address as
// the record holds it and the local port the client connects to.
struct NETWORK_SOURCE {
    int nSource = -1;  // position in the source list
    std::string strIP;
    unsigned short nPort = 0;
};

// The network sources among the records, in list order. Network and OPOS
// sources qualify (whatever their TCP/UDP/OPOS label); a port outside 1 to
// 65535 names no port to listen on, so such a source is left out.
std::vector<NETWORK_SOURCE> NetworkSourcesOf(const std::vector<const POS_SETTING_INFO*>& records);

// The distinct ports of the sources, in order of first appearance; at most
// one per source, so never more than MAX_SOURCES.
std::vector<unsigned short> DistinctPorts(const std::vector<NETWORK_SOURCE>& sources);

// The source a connection from peerIP (dotted text) on port is given to: the
// first in list order whose address equals the text exactly and whose port is
// the port; -1 when none.
int MatchNetworkSource(const std::vector<NETWORK_SOURCE>& sources, const std::string& peerIP, unsigned short nPort);

// The source a connection on port is counted for when its peer matches no
// source: the first in list order that listens on the port; -1 when none.
int FirstSourceOnPort(const std::vector<NETWORK_SOURCE>& sources, unsigned short nPort);
