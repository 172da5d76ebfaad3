#include "base/AtomicFile.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

TEST(AtomicFile, WritesANewFileAndReplacesAnOldOne)
{
    CScratchFolder folder;
    const std::string path = folder.File("metrics.prom");
    ASSERT_TRUE(WriteFileAtomically(path, "first\n"));
    EXPECT_EQ("first\n", ReadFileBytes(path));
    ASSERT_TRUE(WriteFileAtomically(path, "second, longer\n"));
    EXPECT_EQ("second, longer\n", ReadFileBytes(path));
    ASSERT_TRUE(WriteFileAtomically(path, ""));
    EXPECT_EQ("", ReadFileBytes(path));
    EXPECT_EQ((std::vector<std::string>{"metrics.prom"}), FolderEntries(folder.Path())) << "no temporary file left";
}

TEST(AtomicFile, AFailedWriteLeavesNothingBehind)
{
    CScratchFolder folder;
    WriteFileBytes(folder.File("blocker"), "x");
    EXPECT_FALSE(WriteFileAtomically(folder.File("blocker") + "/metrics.prom", "text"));
    EXPECT_FALSE(WriteFileAtomically(folder.File("missing") + "/metrics.prom", "text"));
    EXPECT_EQ((std::vector<std::string>{"blocker"}), FolderEntries(folder.Path()));
}

// The target cannot be replaced (a folder has its name): the old content stays
// and the temporary file is removed.
TEST(AtomicFile, AFailedReplaceKeepsTheOldFile)
{
    CScratchFolder folder;
    std::filesystem::create_directory(folder.File("metrics.prom"));
    WriteFileBytes(folder.File("metrics.prom") + "/inside", "kept");
    EXPECT_FALSE(WriteFileAtomically(folder.File("metrics.prom"), "text"));
    EXPECT_EQ("kept", ReadFileBytes(folder.File("metrics.prom") + "/inside"));
    EXPECT_EQ((std::vector<std::string>{"metrics.prom"}), FolderEntries(folder.Path()));
}

TEST(AtomicFile, WritesEachMetricsFolderThatWorks)
{
    CScratchFolder data;
    CScratchFolder exporter;
    CScratchFolder bad;
    WriteFileBytes(bad.File("blocker"), "x");
    const std::vector<std::string> folders = {data.Path(), "", bad.File("blocker") + "/", exporter.Path()};
    EXPECT_EQ(2, WriteMetricsFiles("tillvox_build_info{version=\"1\"} 1\n", folders));
    EXPECT_EQ("tillvox_build_info{version=\"1\"} 1\n", ReadFileBytes(data.File("metrics.prom")));
    EXPECT_EQ("tillvox_build_info{version=\"1\"} 1\n", ReadFileBytes(exporter.File("metrics.prom")));
}
