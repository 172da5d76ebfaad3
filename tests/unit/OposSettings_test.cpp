#include "config/OposSettings.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

class CMemoryProfile : public CProfileStore {
public:
    std::map<std::string, std::string> values;
    std::vector<std::string> writes;
    std::string GetString(const std::string& section, const std::string& key, const std::string& def,
                          size_t) override
    {
        auto it = values.find(section + "/" + key);
        return it == values.end() ? def : it->second;
    }
    int GetInt(const std::string&, const std::string&, int def) override { return def; }
    bool WriteString(const std::string& section, const std::string& key, const std::string& value) override
    {
        values[section + "/" + key] = value;
        writes.push_back(section + "/" + key + "=" + value);
        return true;
    }
};

}  // namespace

TEST(OposSettings, AddressAsOneSignedNumber)
{
    const struct { const char* ip; int want; } cases[] = {
        {"127.0.0.1", 2130706433},
        {"0.0.0.0", 0},
        {"127.255.255.255", 2147483647},
        {"128.0.0.0", -2147483647 - 1},
        {"192.168.1.10", static_cast<int>(3232235786LL - 4294967296LL)},
        {"255.255.255.254", -2},
        {"127.1", 2130706433},
        {"0x7f.0.0.1", 2130706433},
        {"10.0.1", 167772161},
        {"", -1},
        {"abc", -1},
        {"256.0.0.1", -1},
        {"1.2.3.4.5", -1},
        {"1.2.3.", -1},
        {"1..2.3", -1},
        {"127.0.0.1 ", -1},
        {"08.0.0.1", -1},
        {"99999999999", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, OposAddressValue(c.ip)) << '"' << c.ip << '"';
}

TEST(OposSettings, WritesIpPortNameInOrderAndKeepsOtherKeys)
{
    CMemoryProfile profile;
    profile.values["NetWork/Extra"] = "kept";
    profile.values["Other/IP"] = "kept too";
    WriteOposSettings(profile, "127.0.0.1", 5111, "7");
    const std::vector<std::string> want = {"NetWork/IP=2130706433", "NetWork/Port=5111", "NetWork/Name=7"};
    EXPECT_EQ(want, profile.writes);
    EXPECT_EQ("kept", profile.values["NetWork/Extra"]);
    EXPECT_EQ("kept too", profile.values["Other/IP"]);

    profile.writes.clear();
    WriteOposSettings(profile, "not an address", 6000, "");
    const std::vector<std::string> second = {"NetWork/IP=-1", "NetWork/Port=6000", "NetWork/Name="};
    EXPECT_EQ(second, profile.writes);
}
