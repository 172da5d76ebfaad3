#include "tools/possim/PosSimOptions.h"

#include <gtest/gtest.h>

namespace {

int Parse(std::vector<std::string> args, POS_SIM_OPTIONS& o, std::string& error)
{
    return ParsePosSimArgs(args, o, error);
}

}  // namespace

TEST(PosSimOptions, ReadsEveryOption)
{
    POS_SIM_OPTIONS o;
    std::string error;
    ASSERT_EQ(POS_SIM_OK, Parse({"127.0.0.1:9100", "--count", "5", "--interval", "250", "--size", "4096",
                                 "--reconnect", "--from", "127.0.0.2", "--retry-ms", "3000", "--linger-ms", "10",
                                 "--quiet"},
                                o, error))
        << error;
    EXPECT_EQ("127.0.0.1", o.strHost);
    EXPECT_EQ("9100", o.strPort);
    EXPECT_EQ(5, o.nCount);
    EXPECT_EQ(250, o.nIntervalMs);
    EXPECT_EQ(4096, o.nSize);
    EXPECT_TRUE(o.bReconnect);
    EXPECT_EQ("127.0.0.2", o.strFrom);
    EXPECT_EQ(3000, o.nRetryMs);
    EXPECT_EQ(10, o.nLingerMs);
    EXPECT_TRUE(o.bQuiet);
    EXPECT_TRUE(o.files.empty());
}

TEST(PosSimOptions, FilesOrStandardInput)
{
    const struct { std::vector<std::string> args; std::vector<std::string> files; } cases[] = {
        {{"host:1"}, {"-"}},                        // nothing given: standard input
        {{"host:1", "a.txt", "b.txt"}, {"a.txt", "b.txt"}},
        {{"a.txt", "host:1"}, {}},                  // the first word is the endpoint
        {{"host:1", "-", "a.txt"}, {"-", "a.txt"}},
        {{"[::1]:80", "x"}, {"x"}},
    };
    for (const auto& c : cases) {
        POS_SIM_OPTIONS o;
        std::string error;
        const int code = Parse(c.args, o, error);
        if (c.files.empty()) {
            EXPECT_EQ(POS_SIM_USAGE, code) << c.args[0];
            continue;
        }
        ASSERT_EQ(POS_SIM_OK, code) << error;
        EXPECT_EQ(c.files, o.files) << c.args[0];
    }
}

TEST(PosSimOptions, BadCommandLinesAreUsageErrorsWithAReason)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--count", "3"},
        {"localhost"},
        {"localhost:0"},
        {"localhost:65536"},
        {"localhost:http"},
        {":80"},
        {"h:1", "--count"},
        {"h:1", "--count", "0"},
        {"h:1", "--count", "-4"},
        {"h:1", "--count", "3x"},
        {"h:1", "--size", "0"},
        {"h:1", "--size", "99999999999"},
        {"h:1", "--interval", ""},
        {"h:1", "--frobnicate"},
        {"h:1", "--count", "2", "file.txt"},
        {"h:1", "-", "-"},
    };
    for (const auto& args : cases) {
        POS_SIM_OPTIONS o;
        std::string error;
        EXPECT_EQ(POS_SIM_USAGE, Parse(args, o, error)) << (args.empty() ? "(none)" : args.back());
        EXPECT_FALSE(error.empty());
    }
    POS_SIM_OPTIONS o;
    std::string error;
    EXPECT_EQ(POS_SIM_OK, Parse({"--help"}, o, error));
    EXPECT_TRUE(o.bHelp);
}

TEST(PosSimOptions, SampleReceiptsHaveTheAskedSizeAndDifferByNumber)
{
    for (long size : {1L, 2L, 3L, 20L, 256L, 3072L, 3073L, 100000L}) {
        const std::string r = PosSimSampleReceipt(7, size);
        ASSERT_EQ(static_cast<size_t>(size), r.size());
        if (size >= 2) {
            EXPECT_EQ("\r\n", r.substr(r.size() - 2));
        }
        for (char c : r) EXPECT_TRUE(c == '\r' || c == '\n' || (c >= ' ' && c < 127)) << int(c);
    }
    EXPECT_EQ(0u, PosSimSampleReceipt(12, 256).find("RECEIPT 12\r\n"));
    EXPECT_NE(PosSimSampleReceipt(1, 256), PosSimSampleReceipt(2, 256));
    // Worked out by hand from the number and the size.
    EXPECT_EQ("RECEIPT 3\r\nAPPLES     1.61\r\nCOFFEE     2.74\r\n", PosSimSampleReceipt(3, 45));
}

TEST(PosSimOptions, CheckTimeHasADefaultCanBeSetAndTurnedOffAndHelpNamesItsExitCode)
{
    const struct { std::vector<std::string> args; int code; long checkMs; } cases[] = {
        {{"h:1"}, POS_SIM_OK, 250},
        {{"h:1", "--check-ms", "1000"}, POS_SIM_OK, 1000},
        {{"h:1", "--check-ms", "0"}, POS_SIM_OK, 0},
        {{"h:1", "--check-ms", "-1"}, POS_SIM_USAGE, 250},
        {{"h:1", "--check-ms"}, POS_SIM_USAGE, 250},
    };
    for (const auto& c : cases) {
        POS_SIM_OPTIONS o;
        std::string error;
        EXPECT_EQ(c.code, Parse(c.args, o, error)) << c.args.back();
        EXPECT_EQ(c.checkMs, o.nCheckMs) << c.args.back();
    }
    EXPECT_EQ(8, POS_SIM_REFUSED) << "the code scripts test for";
    EXPECT_NE(std::string::npos, std::string(POS_SIM_USAGE_TEXT).find("8 the program closed or reset"));
    EXPECT_NE(std::string::npos, std::string(POS_SIM_USAGE_TEXT).find("--check-ms"));
}
