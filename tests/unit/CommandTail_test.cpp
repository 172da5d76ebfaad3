#include "app/CommandTail.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// A profile file in memory that also records the order of its writes.
class CMemoryProfile : public CProfileStore {
public:
    std::map<std::string, std::string> values;  // "section/key" -> value
    std::vector<std::string> writes;            // "section/key=value", in order
    int nWritesThatWork = -1;                   // writes that succeed before the disk refuses; -1: all

    std::string GetString(const std::string& section, const std::string& key, const std::string& def,
                          size_t bufferSize) override
    {
        auto it = values.find(section + "/" + key);
        return (it == values.end() ? def : it->second).substr(0, bufferSize - 1);
    }
    int GetInt(const std::string& section, const std::string& key, int def) override
    {
        auto it = values.find(section + "/" + key);
        return it == values.end() ? def : std::stoi(it->second);
    }
    bool WriteString(const std::string& section, const std::string& key, const std::string& value) override
    {
        if (nWritesThatWork == 0)
            return false;
        if (nWritesThatWork > 0)
            --nWritesThatWork;
        values[section + "/" + key] = value;
        writes.push_back(section + "/" + key + "=" + value);
        return true;
    }
};

}  // namespace

TEST(CommandTail, TakesWhatFollowsTheFirstQuoteAndBlank)
{
    const struct {
        const char* line;
        const char* tail;
    } cases[] = {
        {"\"C:\\Program Files\\Tillvox\\Tillvox.exe\" /Service /Monitor", "/Service /Monitor"},
        {"\"C:\\Tillvox.exe\" -\"Monitor\"", "-\"Monitor\""},
        {"\"C:\\Tillvox.exe\" ", ""},
        {"\"C:\\Tillvox.exe\"  /Monitor", " /Monitor"},
        {"\"C:\\Tillvox.exe\" \"a b\" c", "\"a b\" c"},
        {"\"C:\\Tillvox.exe\"", "\"C:\\Tillvox.exe\""},                // no blank after the quote
        {"C:\\Tillvox.exe /Service", "C:\\Tillvox.exe /Service"},       // unquoted path
        {"\"C:\\Tillvox.exe\"/Service", "\"C:\\Tillvox.exe\"/Service"},
        {"\"C:\\Tillvox.exe\"\t/Service", "\"C:\\Tillvox.exe\"\t/Service"},  // a tab is no blank
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.tail, CommandTail(c.line)) << c.line;
}

TEST(StartRequestEntry, TakesTheNextNumberFromCount)
{
    const struct {
        const char* count;  // nullptr: no Count key
        const char* args;
        int index;
        const char* newCount;
    } cases[] = {
        {nullptr, "/Service", 0, "1"},
        {"0", "/Service", 0, "1"},
        {"2", "/Service /Monitor", 2, "3"},
        {"-4", "/Service", 0, "1"},
        {"-1", "", 0, "1"},
        {"15", "", 15, "16"},
    };
    for (const auto& c : cases) {
        CMemoryProfile file;
        if (c.count)
            file.values["Startup/Count"] = c.count;
        file.values["AP1/ExePath"] = "C:\\Other.exe";
        const std::string section = "AP" + std::to_string(c.index);

        EXPECT_EQ(c.index, WriteStartRequest(file, "C:\\Tillvox\\Tillvox.exe", c.args)) << c.count;

        std::vector<std::string> expected{section + "/ExePath=C:\\Tillvox\\Tillvox.exe"};
        if (*c.args)
            expected.push_back(section + "/CmdLine=" + c.args);
        expected.push_back(std::string("Startup/Count=") + c.newCount);
        EXPECT_EQ(expected, file.writes) << (c.count ? c.count : "no Count");
        if (c.index != 1) {
            EXPECT_EQ("C:\\Other.exe", file.values["AP1/ExePath"]);
        }
    }
}

TEST(StartRequestEntry, EmptyArgumentsLeaveAnEarlierCmdLineOfTheSameEntryAlone)
{
    CMemoryProfile file;
    file.values["Startup/Count"] = "-4";
    file.values["AP0/CmdLine"] = "stale";
    EXPECT_EQ(0, WriteStartRequest(file, "C:\\T.exe", ""));
    EXPECT_EQ("stale", file.values["AP0/CmdLine"]);
    EXPECT_EQ("C:\\T.exe", file.values["AP0/ExePath"]);
}

// A disk that refuses a write part way: nothing counts an entry that is not whole.
TEST(StartRequestEntry, AFailedWriteIsReportedAndCountsNoEntry)
{
    for (int nWorking : {0, 1, 2}) {
        CMemoryProfile file;
        file.values["Startup/Count"] = "3";
        file.nWritesThatWork = nWorking;
        EXPECT_EQ(-1, WriteStartRequest(file, "C:\\T.exe", "/Service")) << nWorking << " writes worked";
        EXPECT_EQ("3", file.values["Startup/Count"]) << nWorking << " writes worked";
    }
}
