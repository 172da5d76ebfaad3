#pragma once
// The agent's own record of what it did with each request: a trace line, and a
// line in TillvoxAgent.log beside the agent (a folder only administrators can
// write), kept below a few hundred kilobytes by moving it to TillvoxAgent.log.old.
#include <string>

constexpr char AGENT_LOG_FILE[] = "TillvoxAgent.log";

class CAgentLog {
public:
    explicit CAgentLog(std::string strFolder) : m_strPath(std::move(strFolder) + "\\" + AGENT_LOG_FILE) {}
    void Write(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};
