#include "base/MetricsText.h"

#include "base/Utf8Text.h"

#include <functional>

namespace {

struct FAMILY {
    const char* pszName;
    const char* pszType;
    const char* pszHelp;
    std::function<uint64_t(const METRICS_SOURCE&)> value;
};

void AppendHeader(std::string& out, const char* pszName, const char* pszType, const char* pszHelp)
{
    out += "# HELP ";
    out += pszName;
    out += ' ';
    out += pszHelp;
    out += "\n# TYPE ";
    out += pszName;
    out += ' ';
    out += pszType;
    out += '\n';
}

void AppendSample(std::string& out, const char* pszName, const std::string& strLabels, const std::string& strValue)
{
    out += pszName;
    out += '{';
    out += strLabels;
    out += "} ";
    out += strValue;
    out += '\n';
}

std::string SourceLabel(const METRICS_SOURCE& source)
{
    return "source=\"" + EscapeLabelValue(source.strName) + "\"";
}

const char* ReasonLabel(REFUSAL_REASON reason)
{
    switch (reason) {
    case REFUSAL_REASON::WRONG_PASSWORD: return "wrong_password";
    case REFUSAL_REASON::JUNK: return "junk";
    case REFUSAL_REASON::UNKNOWN_TILL: break;
    }
    return "unknown_till";
}

uint64_t NonNegative(int64_t nValue)
{
    return nValue > 0 ? static_cast<uint64_t>(nValue) : 0;
}

}  // namespace

std::string EscapeLabelValue(const std::string& strValue)
{
    std::string out;
    for (char c : ValidUtf8(strValue)) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string FormatMetrics(const METRICS_PROGRAM& program, const std::vector<METRICS_SOURCE>& sources)
{
    std::string out;
    AppendHeader(out, "tillvox_build_info", "gauge", "Version of the running program.");
    AppendSample(out, "tillvox_build_info", "version=\"" + EscapeLabelValue(program.strVersion) + "\"", "1");
    AppendHeader(out, "tillvox_start_timestamp_seconds", "gauge", "Time the program started, in unix seconds.");
    out += "tillvox_start_timestamp_seconds " + std::to_string(NonNegative(program.nStartTime)) + "\n";

    const FAMILY families[] = {
        {"tillvox_captured_bytes_total", "counter", "Bytes of receipt text captured from the till.",
            [](const METRICS_SOURCE& s) { return s.counters.nBytesCaptured; }},
        {"tillvox_captured_receipts_total", "counter", "Receipts captured from the till.",
            [](const METRICS_SOURCE& s) { return s.counters.nReceiptsCaptured; }},
        {"tillvox_sent_bytes_total", "counter", "Bytes sent to the recorder.",
            [](const METRICS_SOURCE& s) { return s.counters.nBytesSent; }},
        {"tillvox_acknowledged_bytes_total", "counter", "Bytes the recorder acknowledged.",
            [](const METRICS_SOURCE& s) { return s.counters.nBytesAcknowledged; }},
        {"tillvox_queue_bytes", "gauge", "Bytes waiting in the queue for the recorder.",
            [](const METRICS_SOURCE& s) { return s.counters.nBytesQueued; }},
        {"tillvox_dropped_bytes_total", "counter", "Bytes dropped because the queue was full.",
            [](const METRICS_SOURCE& s) { return s.counters.nBytesDropped; }},
        {"tillvox_recorder_reconnects_total", "counter", "Times the recorder connection was made again.",
            [](const METRICS_SOURCE& s) { return s.counters.nRecorderReconnects; }},
        {"tillvox_last_receipt_timestamp_seconds", "gauge",
            "Time the last receipt was captured, in unix seconds (0: none yet).",
            [](const METRICS_SOURCE& s) { return NonNegative(s.counters.nLastReceiptTime); }},
        {"tillvox_last_acknowledgement_timestamp_seconds", "gauge",
            "Time the recorder last acknowledged text, in unix seconds (0: never).",
            [](const METRICS_SOURCE& s) { return NonNegative(s.counters.nLastAckTime); }},
        {"tillvox_output_connected", "gauge", "1 while the output (serial port or recorder link) is open.",
            [](const METRICS_SOURCE& s) { return uint64_t{s.bOutputConnected ? 1u : 0u}; }},
        {"tillvox_recorder_logged_in", "gauge", "1 while a recorder is logged in.",
            [](const METRICS_SOURCE& s) { return uint64_t{s.bRecorderLoggedIn ? 1u : 0u}; }},
    };
    for (const FAMILY& family : families) {
        AppendHeader(out, family.pszName, family.pszType, family.pszHelp);
        for (const METRICS_SOURCE& source : sources)
            AppendSample(out, family.pszName, SourceLabel(source), std::to_string(family.value(source)));
    }

    const REFUSAL_REASON reasons[] = {REFUSAL_REASON::WRONG_PASSWORD, REFUSAL_REASON::JUNK, REFUSAL_REASON::UNKNOWN_TILL};
    static_assert(sizeof reasons / sizeof reasons[0] == REFUSAL_REASON_COUNT, "every reason has its samples");
    AppendHeader(out, "tillvox_refused_connections_total", "counter", "Connections turned away, by reason.");
    for (const METRICS_SOURCE& source : sources) {
        for (REFUSAL_REASON reason : reasons)
            AppendSample(out, "tillvox_refused_connections_total",
                SourceLabel(source) + ",reason=\"" + ReasonLabel(reason) + "\"",
                std::to_string(source.counters.nRefused[static_cast<int>(reason)]));
    }
    return out;
}
