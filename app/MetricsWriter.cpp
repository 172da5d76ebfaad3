#include "app/MetricsWriter.h"

#include "base/AtomicFile.h"
#include "base/IniText.h"

namespace {

bool EndsInSeparator(const std::string& strPath)
{
    return !strPath.empty() && (strPath.back() == '\\' || strPath.back() == '/');
}

}  // namespace

std::vector<std::string> MetricsFolders(const std::string& strDataFolder, const std::string& strSetting)
{
    std::vector<std::string> folders{strDataFolder};
    std::string strSecond = TrimmedProfileText(strSetting);
    if (strSecond.empty())
        return folders;
    if (!EndsInSeparator(strSecond))
        strSecond += '\\';
    if (strSecond != strDataFolder)
        folders.push_back(strSecond);
    return folders;
}

CMetricsWriter::CMetricsWriter(METRICS_PROGRAM program, std::vector<std::string> folders, SOURCES sources,
    std::chrono::milliseconds interval)
    : m_Program(std::move(program)),
      m_Folders(std::move(folders)),
      m_Sources(std::move(sources)),
      m_Interval(interval),
      m_Thread(&CMetricsWriter::ThreadProc, this)
{
}

CMetricsWriter::~CMetricsWriter()
{
    {
        std::lock_guard<std::mutex> lock(m_StopMutex);
        m_bStop = true;
    }
    m_StopChanged.notify_all();
    m_Thread.join();
    WriteNow();
}

int CMetricsWriter::WriteNow()
{
    std::lock_guard<std::mutex> lock(m_WriteMutex);
    return WriteMetricsFiles(FormatMetrics(m_Program, m_Sources()), m_Folders);
}

void CMetricsWriter::ThreadProc()
{
    std::unique_lock<std::mutex> lock(m_StopMutex);
    while (!m_bStop) {
        lock.unlock();
        WriteNow();
        lock.lock();
        m_StopChanged.wait_for(lock, m_Interval, [this] { return m_bStop; });
    }
}
