#include "base/LogFile.h"

#include <cstdio>
#include <ctime>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

LOG_TIME LocalLogTimeNow()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t nSeconds = std::chrono::system_clock::to_time_t(now);
    const auto nMillis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm parts{};
#ifdef _WIN32
    localtime_s(&parts, &nSeconds);
#else
    localtime_r(&nSeconds, &parts);
#endif
    LOG_TIME time;
    time.nYear = parts.tm_year + 1900;
    time.nMonth = parts.tm_mon + 1;
    time.nDay = parts.tm_mday;
    time.nHour = parts.tm_hour;
    time.nMinute = parts.tm_min;
    time.nSecond = parts.tm_sec;
    time.nMillisecond = static_cast<int>(nMillis < 0 ? 0 : nMillis);
    return time;
}

CLogFile::CLogFile(std::string strFolder, LOG_FILE_OPTIONS options)
    : m_strFolder(std::move(strFolder)),
      m_options(options),
      m_queue(options.nQueueLines, options.nQueueBytes),
      m_thread([this] { Run(); })
{
}

CLogFile::~CLogFile()
{
    m_queue.Stop();
    m_thread.join();
}

void CLogFile::Write(LOG_LEVEL level, const std::string& strSource, const std::string& strText)
{
    m_queue.Push(FormatLogLine(LocalLogTimeNow(), level, strSource, strText));
}

void CLogFile::Run()
{
    for (;;) {
        LOG_BATCH batch = m_queue.Take(std::chrono::seconds(1));
        const bool bStopping = m_queue.Stopped();
        if (batch.lines.empty() && batch.nDropped == 0) {
            if (bStopping)
                return;
            continue;
        }
        if (!WriteBatch(batch)) {
            ++m_nFailedWrites;
            m_queue.PutBack(std::move(batch));
            if (bStopping || m_queue.WaitForStop(m_options.retryAfter)) {
                // One last try for what is still queued, without waiting again.
                LOG_BATCH rest = m_queue.Take(std::chrono::milliseconds(0));
                if (!WriteBatch(rest))
                    ++m_nFailedWrites;
                return;
            }
        }
    }
}

bool CLogFile::WriteBatch(LOG_BATCH& batch)
{
    const std::string strPath = m_strFolder + LogFileName(0);
    FilePtr file(std::fopen(strPath.c_str(), "ab"));
    if (!file)
        return false;
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    const long nAt = std::ftell(file.get());
    uint64_t nSize = nAt > 0 ? static_cast<uint64_t>(nAt) : 0;

    if (batch.nDropped > 0) {
        batch.lines.insert(batch.lines.begin(),
            FormatLogLine(LocalLogTimeNow(), LOG_LEVEL::LEVEL_WARNING, LOG_PROGRAM_NAME,
                std::to_string(batch.nDropped) + (batch.nDropped == 1 ? " log line was" : " log lines were") +
                    " dropped: the log file could not keep up"));
        batch.nDropped = 0;
    }

    size_t nWritten = 0;
    bool bOk = true;
    for (const std::string& line : batch.lines) {
        if (LogNeedsRotation(nSize, line.size(), m_options.nRotateBytes)) {
            file.reset();
            // A file that cannot be moved aside (held open elsewhere) grows
            // past the limit rather than losing the line; the next line tries again.
            if (Rotate())
                nSize = 0;
            file.reset(std::fopen(strPath.c_str(), "ab"));
            if (!file) {
                bOk = false;
                break;
            }
        }
        if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size()) {
            bOk = false;
            break;
        }
        nSize += line.size();
        ++nWritten;
    }
    if (file && std::fflush(file.get()) != 0)
        bOk = false;
    batch.lines.erase(batch.lines.begin(), batch.lines.begin() + static_cast<std::ptrdiff_t>(nWritten));
    return bOk;
}

bool CLogFile::Rotate()
{
    bool bOk = true;
    for (const LOG_RENAME& step : LogRotationSteps()) {
        const std::string strFrom = m_strFolder + step.strFrom;
        if (step.strTo.empty()) {
            std::remove(strFrom.c_str());
            continue;
        }
        // The target was removed or moved on by the step before.
        if (std::rename(strFrom.c_str(), (m_strFolder + step.strTo).c_str()) != 0 && step.strFrom == LogFileName(0))
            bOk = false;
    }
    return bOk;
}
