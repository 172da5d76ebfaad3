#include "app/MetricsWriter.h"

#include "base/AtomicFile.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

TEST(MetricsWriter, TheSecondFolderComesFromTheSettingWhenItNamesOne)
{
    const std::string data = "C:\\ProgramData\\Orvane\\Tillvox\\";
    const struct { const char* setting; std::vector<std::string> want; } cases[] = {
        {"", {data}},
        {"   ", {data}},
        {"C:\\exporter\\textfile_inputs", {data, "C:\\exporter\\textfile_inputs\\"}},
        {" C:\\exporter\\textfile_inputs\\ ", {data, "C:\\exporter\\textfile_inputs\\"}},
        {"\\\\server\\share/metrics/", {data, "\\\\server\\share/metrics/"}},
        {"C:\\ProgramData\\Orvane\\Tillvox", {data}},  // the data folder once is enough
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, MetricsFolders(data, c.setting)) << '"' << c.setting << '"';
}

namespace {

std::vector<METRICS_SOURCE> OneSource(uint64_t nCaptured)
{
    METRICS_SOURCE source;
    source.strName = "POS1";
    source.counters.nBytesCaptured = nCaptured;
    return {source};
}

bool WaitForText(const std::string& path, const std::string& text)
{
    for (int k = 0; k < 500; ++k) {
        if (ReadFileBytes(path).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

// Both folders get the same whole text at once, again with every interval;
// a folder that cannot be written is skipped without holding up the other,
// and the end of the writer leaves the last figures in the file.
TEST(MetricsWriter, WritesEveryFolderAtOnceAgainEachIntervalAndOnceAtTheEnd)
{
    CScratchFolder data, second;
    std::atomic<uint64_t> nCaptured{11};
    METRICS_PROGRAM program{"8.5.7.0", 1765400000};
    {
        CMetricsWriter writer(program, {data.Path(), data.Path() + "missing/", second.Path()},
            [&] { return OneSource(nCaptured); }, std::chrono::milliseconds(50));
        ASSERT_TRUE(WaitForText(data.File(METRICS_FILE_NAME), "tillvox_captured_bytes_total{source=\"POS1\"} 11\n"));
        ASSERT_TRUE(WaitForText(second.File(METRICS_FILE_NAME), "tillvox_captured_bytes_total{source=\"POS1\"} 11\n"));
        EXPECT_EQ(FormatMetrics(program, OneSource(11)), ReadFileBytes(second.File(METRICS_FILE_NAME)));
        nCaptured = 12;
        EXPECT_TRUE(WaitForText(data.File(METRICS_FILE_NAME), "{source=\"POS1\"} 12\n")) << "written again";
        EXPECT_EQ(2, writer.WriteNow()) << "the missing folder is skipped";
        nCaptured = 13;
    }
    EXPECT_EQ(FormatMetrics(program, OneSource(13)), ReadFileBytes(data.File(METRICS_FILE_NAME)));
    EXPECT_EQ(std::vector<std::string>{METRICS_FILE_NAME}, FolderEntries(data.Path())) << "no temporary file left";
}
