#include "capture/NetworkSources.h"
#include "net/AddressText.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

POS_SETTING_INFO Record(int kind, const std::string& ip, int port)
{
    POS_SETTING_INFO r;
    r.nMonitorType = kind;
    r.strInternetIP = ip;
    r.nInternetPort = port;
    return r;
}

std::vector<const POS_SETTING_INFO*> Pointers(const std::vector<POS_SETTING_INFO>& records)
{
    std::vector<const POS_SETTING_INFO*> p;
    for (const auto& r : records) p.push_back(&r);
    return p;
}

}  // namespace

TEST(NetworkSources, OnlyNetworkAndOposSourcesWithAUsablePortListen)
{
    const std::vector<POS_SETTING_INFO> records = {
        Record(KIND_FILE, "10.0.0.1", 5000),        // a file source never listens, whatever it holds
        Record(KIND_NETWORK, "10.0.0.2", 5000),
        Record(KIND_OPOS, "127.0.0.1", 5001),
        Record(KIND_INFOGENESIS, "10.0.0.3", 5002),
        Record(KIND_NETWORK, "10.0.0.4", 0),         // no port
        Record(KIND_NETWORK, "10.0.0.5", 70000),     // no such port
        Record(KIND_NETWORK, "10.0.0.6", -1),
        Record(KIND_NETWORK, "10.0.0.7", 65535),
    };
    const auto sources = NetworkSourcesOf(Pointers(records));
    ASSERT_EQ(3u, sources.size());
    EXPECT_EQ(1, sources[0].nSource);
    EXPECT_EQ("10.0.0.2", sources[0].strIP);
    EXPECT_EQ(5000, sources[0].nPort);
    EXPECT_EQ(2, sources[1].nSource);
    EXPECT_EQ(5001, sources[1].nPort);
    EXPECT_EQ(7, sources[2].nSource);
    EXPECT_EQ(65535, sources[2].nPort);
}

TEST(NetworkSources, DistinctPortsInOrderOfFirstAppearance)
{
    const struct { std::vector<unsigned short> ports; std::vector<unsigned short> want; } cases[] = {
        {{}, {}},
        {{4000}, {4000}},
        {{4000, 4000, 4000}, {4000}},
        {{4001, 4000, 4001, 4002, 4000}, {4001, 4000, 4002}},
        {{0, 4000, 0}, {4000}},
    };
    for (const auto& c : cases) {
        std::vector<NETWORK_SOURCE> sources;
        for (size_t i = 0; i < c.ports.size(); ++i) sources.push_back({static_cast<int>(i), "1.2.3.4", c.ports[i]});
        EXPECT_EQ(c.want, DistinctPorts(sources)) << c.ports.size();
    }
    std::vector<NETWORK_SOURCE> sixteen;
    for (int i = 0; i < MAX_SOURCES; ++i) sixteen.push_back({i, "1.2.3.4", static_cast<unsigned short>(6000 + i)});
    EXPECT_EQ(16u, DistinctPorts(sixteen).size());
}

TEST(NetworkSources, APeerGoesToTheFirstSourceWithItsAddressAndPort)
{
    const std::vector<NETWORK_SOURCE> sources = {
        {0, "127.0.0.1", 4000}, {2, "127.0.0.2", 4000}, {3, "127.0.0.1", 4000}, {5, "127.0.0.1", 4001},
    };
    const struct { const char* peer; unsigned short port; int want; } cases[] = {
        {"127.0.0.1", 4000, 0},   // sources 0 and 3 both match: the earlier one wins
        {"127.0.0.2", 4000, 2},
        {"127.0.0.1", 4001, 5},
        {"127.0.0.2", 4001, -1},  // right address, wrong port
        {"127.0.0.3", 4000, -1},
        {"127.0.0.10", 4000, -1}, // exact text, not a prefix
        {"127.0.0.", 4000, -1},
        {"", 4000, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, MatchNetworkSource(sources, c.peer, c.port)) << c.peer << ":" << c.port;
    EXPECT_EQ(-1, MatchNetworkSource({}, "127.0.0.1", 4000));
}

TEST(NetworkSources, DottedTextOfAnAddress)
{
    const uint8_t a[4] = {127, 0, 0, 1};
    const uint8_t b[4] = {255, 255, 255, 255};
    const uint8_t c[4] = {0, 0, 0, 0};
    const uint8_t d[4] = {10, 200, 3, 45};
    EXPECT_EQ("127.0.0.1", DottedIPv4(a));
    EXPECT_EQ("255.255.255.255", DottedIPv4(b));
    EXPECT_EQ("0.0.0.0", DottedIPv4(c));
    EXPECT_EQ("10.200.3.45", DottedIPv4(d));
}

// A till whose address matches no source is counted for the source whose port it came in on.
TEST(NetworkSources, AStrangerIsCountedForTheFirstSourceOnItsPort)
{
    const std::vector<NETWORK_SOURCE> sources = {
        {1, "127.0.0.1", 4000}, {2, "127.0.0.2", 4001}, {4, "127.0.0.3", 4001},
    };
    const struct { unsigned short port; int want; } cases[] = {{4000, 1}, {4001, 2}, {4002, -1}};
    for (const auto& c : cases) EXPECT_EQ(c.want, FirstSourceOnPort(sources, c.port)) << c.port;
    EXPECT_EQ(-1, FirstSourceOnPort({}, 4000));
}
