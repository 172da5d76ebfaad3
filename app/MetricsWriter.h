#pragma once
// Writes the metrics file "metrics.prom" every METRICS_INTERVAL into each of
// its folders (the data folder, and a second one when the settings name one),
// on a thread of its own: a slow or missing folder never holds up capture or
// the window, and a folder that cannot be written is skipped until next time.
#include "base/MetricsText.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

constexpr std::chrono::seconds METRICS_INTERVAL{15};
// The settings file's section and key naming the second folder.
constexpr char METRICS_SECTION[] = "Metrics";
constexpr char METRICS_FOLDER_KEY[] = "Folder";

// The folders the file goes to, each ending in a path separator: the data
// folder, then the one the setting names (blanks around it ignored; left out
// when empty or the same as the data folder).
std::vector<std::string> MetricsFolders(const std::string& strDataFolder, const std::string& strSetting);

class CMetricsWriter {
public:
    using SOURCES = std::function<std::vector<METRICS_SOURCE>()>;

    CMetricsWriter(METRICS_PROGRAM program, std::vector<std::string> folders, SOURCES sources,
        std::chrono::milliseconds interval = METRICS_INTERVAL);
    ~CMetricsWriter();  // writes once more, so the file shows the end, then ends the thread
    CMetricsWriter(const CMetricsWriter&) = delete;
    CMetricsWriter& operator=(const CMetricsWriter&) = delete;

    // Writes every folder now; returns how many were written. Any thread.
    int WriteNow();

private:
    void ThreadProc();

    const METRICS_PROGRAM m_Program;
    const std::vector<std::string> m_Folders;
    const SOURCES m_Sources;
    const std::chrono::milliseconds m_Interval;
    std::mutex m_WriteMutex;  // one write at a time; taken alone
    // m_StopMutex guards m_bStop: the destructor sets it, the thread waits on it.
    std::mutex m_StopMutex;
    std::condition_variable m_StopChanged;
    bool m_bStop = false;
    std::thread m_Thread;  // last: started when everything it uses exists
};
