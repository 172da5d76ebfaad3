#pragma once
#include "app/CaptureEngine.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

// Stands in for the main window: answers texts as "<KEY>", keeps the list
// cells the engine posts and the warnings it raises, so tests can wait for them.
class CEngineHost : public CEngineCallback {
public:
    CCaptureEngine* pEngine = nullptr;

    void OnListCellPosted(int slot) override;
    void CautionBox(int nSource, const std::string& text) override;
    std::string GetString(const char* key) override;
    // Infogenesis statuses are kept as the row texts the window would show.
    void OnInfogenesisStatus(int nSource, int nStatus) override;
    void ArmInfogenesisRetry(int nObject) override;

    std::string SourceTextOf(int row);
    bool WaitForSourceText(int row, const std::string& text, std::chrono::milliseconds timeout);
    std::vector<int> RetryRequests();

    std::string StatusOf(int row);
    // Waits until row's status equals text; false when it did not within the time.
    bool WaitForStatus(int row, const std::string& text, std::chrono::milliseconds timeout);
    std::vector<std::string> Cautions();
    bool WaitForCautions(size_t count, std::chrono::milliseconds timeout);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_status[MAX_SOURCES];
    std::vector<std::string> m_cautions;
    std::string m_sourceText[MAX_SOURCES];
    std::vector<int> m_retries;
};

// The engine a test drives with such a host: the host is wired to it and its
// texts are loaded; it stops, if it still runs, when it goes. What the running
// engine uses is declared before it in a fixture, so it is still there then.
class CHostedEngine : public CCaptureEngine {
public:
    explicit CHostedEngine(CEngineHost& host);
    ~CHostedEngine() override;
};

// Recorder link times for tests that log recorders in by the dozen: a login
// costs milliseconds rather than the protocol's second, and silence and a
// missing login are noticed after a few seconds rather than 20 and 10. The
// real program's tests keep the real times.
LINK_TIMING QuickLinkTiming();

// The text the host answers for a key.
inline std::string HostText(const char* key) { return std::string("<") + key + ">"; }
