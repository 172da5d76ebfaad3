// Infogenesis sources grouped into connection objects, and the record handed to the library.
#include "capture/InfogenesisMap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

INFOGENESIS_SOURCE Source(int nSource, const char* ip, int send, int recv, const char* ids)
{
    return INFOGENESIS_SOURCE{nSource, ip, send, recv, ids};
}

std::vector<int> RecordIDs(const INFOGENESIS_CONNECT_RECORD& record)
{
    return std::vector<int>(record.nTerminalIDs, record.nTerminalIDs + record.nTerminalCount);
}

TEST(InfogenesisMap, TerminalIDTexts)
{
    const struct {
        const char* text;
        std::vector<int> ids;
    } cases[] = {
        {"1,2", {1, 2}},
        {"0,5,100000,7", {5, 7}},
        {"5,,x,100000,7", {5, 7}},
        {"99999,1", {99999, 1}},
        {"12abc, 13,-4,+5", {12, 13}},
        {"", {}},
        {",,,", {}},
        {"99999999999999999999999,3", {3}},
        {"999", {999}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.ids, ParseTerminalIDs(c.text)) << c.text;
}

TEST(InfogenesisMap, SameServerAndPortsShareOneObject)
{
    std::vector<int> slots;
    const auto connections = GroupConnections({Source(0, "10.0.0.1", 7001, 7002, "1,2"),
                                               Source(3, "10.0.0.1", 7001, 7002, "3")},
                                              slots);
    ASSERT_EQ(1u, connections.size());
    EXPECT_EQ((std::vector<int>{0, 0}), slots);
    EXPECT_EQ((std::vector<int>{0, 3}), connections[0].sources);
    const INFOGENESIS_CONNECT_RECORD record = BuildConnectRecord(connections[0]);
    EXPECT_EQ((std::vector<int>{1, 2, 3}), RecordIDs(record));
    EXPECT_STREQ("10.0.0.1", record.szIP);
    EXPECT_EQ(7001, record.nSendPort);
    EXPECT_EQ(7002, record.nRecvPort);
    EXPECT_EQ(0, SourceOfTerminal(connections[0].terminals, 2));
    EXPECT_EQ(3, SourceOfTerminal(connections[0].terminals, 3));
    EXPECT_EQ(-1, SourceOfTerminal(connections[0].terminals, 4));
    EXPECT_EQ(-1, SourceOfTerminal(connections[0].terminals, 0));
}

TEST(InfogenesisMap, AnyDifferenceMakesANewObject)
{
    std::vector<int> slots;
    const auto connections = GroupConnections({Source(0, "10.0.0.1", 1, 2, "1"), Source(1, "10.0.0.2", 1, 2, "2"),
                                               Source(2, "10.0.0.1", 9, 2, "3"), Source(4, "10.0.0.1", 1, 9, "4"),
                                               Source(5, "10.0.0.2", 1, 2, "5"), Source(6, "10.0.0.1 ", 1, 2, "6")},
                                              slots);
    EXPECT_EQ(5u, connections.size());
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 1, 4}), slots);
    EXPECT_EQ((std::vector<int>{1, 5}), connections[1].sources);
}

TEST(InfogenesisMap, MoreThanSixteenIDsAreCutAtSixteen)
{
    std::vector<int> slots;
    const auto connections = GroupConnections(
        {Source(0, "h", 1, 2, "1,2,3,4,5,6,7,8,9,10"), Source(1, "h", 1, 2, "11,12,13,14,15,16,17,18")}, slots);
    ASSERT_EQ(1u, connections.size());
    ASSERT_EQ(16u, connections[0].terminals.size());
    const INFOGENESIS_CONNECT_RECORD record = BuildConnectRecord(connections[0]);
    EXPECT_EQ(16, record.nTerminalCount);
    EXPECT_EQ(16, record.nTerminalIDs[15]);
    EXPECT_EQ(1, SourceOfTerminal(connections[0].terminals, 16));
    EXPECT_EQ(-1, SourceOfTerminal(connections[0].terminals, 17));
}

TEST(InfogenesisMap, RecordIsZeroFilledAndTheAddressCutAt255)
{
    INFOGENESIS_CONNECTION connection;
    connection.strIP = std::string(300, 'a');
    connection.terminals = {{5, 0}};
    const INFOGENESIS_CONNECT_RECORD record = BuildConnectRecord(connection);
    EXPECT_EQ(255u, std::strlen(record.szIP));
    EXPECT_EQ(1, record.nTerminalCount);
    for (int i = 1; i < INFOGENESIS_MAX_TERMINALS; ++i)
        EXPECT_EQ(0, record.nTerminalIDs[i]);
}

TEST(InfogenesisMap, StatusesToRowStates)
{
    EXPECT_EQ(INFOGENESIS_ROW_STATE::Waiting, RowStateOf(-1));
    EXPECT_EQ(INFOGENESIS_ROW_STATE::Connected, RowStateOf(0));
    EXPECT_EQ(INFOGENESIS_ROW_STATE::Reconnecting, RowStateOf(6));
    for (int status : {1, 2, 3, 7, 8, -2, 12345})
        EXPECT_EQ(INFOGENESIS_ROW_STATE::Failed, RowStateOf(status)) << status;
}

}  // namespace
