#include "base/MetricsText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(MetricsText, WritesEveryFamilyForEachSource)
{
    METRICS_PROGRAM program;
    program.strVersion = "2.1.0";
    program.nStartTime = 1765420800;

    METRICS_SOURCE pos1;
    pos1.strName = "POS1";
    pos1.counters.nBytesCaptured = 1200;
    pos1.counters.nReceiptsCaptured = 4;
    pos1.counters.nBytesSent = 1100;
    pos1.counters.nBytesAcknowledged = 1024;
    pos1.counters.nBytesQueued = 100;
    pos1.counters.nBytesDropped = 0;
    pos1.counters.nRecorderReconnects = 3;
    pos1.counters.nRefused[static_cast<int>(REFUSAL_REASON::WRONG_PASSWORD)] = 29;
    pos1.counters.nRefused[static_cast<int>(REFUSAL_REASON::JUNK)] = 2;
    pos1.counters.nRefused[static_cast<int>(REFUSAL_REASON::UNKNOWN_TILL)] = 1;
    pos1.counters.nLastReceiptTime = 1765421000;
    pos1.counters.nLastAckTime = 1765421001;
    pos1.bOutputConnected = true;
    pos1.bRecorderLoggedIn = true;

    METRICS_SOURCE bar;
    bar.strName = "Bar";
    bar.counters.nBytesDropped = 65536;

    const std::string expected =
        "# HELP tillvox_build_info Version of the running program.\n"
        "# TYPE tillvox_build_info gauge\n"
        "tillvox_build_info{version=\"2.1.0\"} 1\n"
        "# HELP tillvox_start_timestamp_seconds Time the program started, in unix seconds.\n"
        "# TYPE tillvox_start_timestamp_seconds gauge\n"
        "tillvox_start_timestamp_seconds 1765420800\n"
        "# HELP tillvox_captured_bytes_total Bytes of receipt text captured from the till.\n"
        "# TYPE tillvox_captured_bytes_total counter\n"
        "tillvox_captured_bytes_total{source=\"POS1\"} 1200\n"
        "tillvox_captured_bytes_total{source=\"Bar\"} 0\n"
        "# HELP tillvox_captured_receipts_total Receipts captured from the till.\n"
        "# TYPE tillvox_captured_receipts_total counter\n"
        "tillvox_captured_receipts_total{source=\"POS1\"} 4\n"
        "tillvox_captured_receipts_total{source=\"Bar\"} 0\n"
        "# HELP tillvox_sent_bytes_total Bytes sent to the recorder.\n"
        "# TYPE tillvox_sent_bytes_total counter\n"
        "tillvox_sent_bytes_total{source=\"POS1\"} 1100\n"
        "tillvox_sent_bytes_total{source=\"Bar\"} 0\n"
        "# HELP tillvox_acknowledged_bytes_total Bytes the recorder acknowledged.\n"
        "# TYPE tillvox_acknowledged_bytes_total counter\n"
        "tillvox_acknowledged_bytes_total{source=\"POS1\"} 1024\n"
        "tillvox_acknowledged_bytes_total{source=\"Bar\"} 0\n"
        "# HELP tillvox_queue_bytes Bytes waiting in the queue for the recorder.\n"
        "# TYPE tillvox_queue_bytes gauge\n"
        "tillvox_queue_bytes{source=\"POS1\"} 100\n"
        "tillvox_queue_bytes{source=\"Bar\"} 0\n"
        "# HELP tillvox_dropped_bytes_total Bytes dropped because the queue was full.\n"
        "# TYPE tillvox_dropped_bytes_total counter\n"
        "tillvox_dropped_bytes_total{source=\"POS1\"} 0\n"
        "tillvox_dropped_bytes_total{source=\"Bar\"} 65536\n"
        "# HELP tillvox_recorder_reconnects_total Times the recorder connection was made again.\n"
        "# TYPE tillvox_recorder_reconnects_total counter\n"
        "tillvox_recorder_reconnects_total{source=\"POS1\"} 3\n"
        "tillvox_recorder_reconnects_total{source=\"Bar\"} 0\n"
        "# HELP tillvox_last_receipt_timestamp_seconds Time the last receipt was captured, in unix seconds "
        "(0: none yet).\n"
        "# TYPE tillvox_last_receipt_timestamp_seconds gauge\n"
        "tillvox_last_receipt_timestamp_seconds{source=\"POS1\"} 1765421000\n"
        "tillvox_last_receipt_timestamp_seconds{source=\"Bar\"} 0\n"
        "# HELP tillvox_last_acknowledgement_timestamp_seconds Time the recorder last acknowledged text, in "
        "unix seconds (0: never).\n"
        "# TYPE tillvox_last_acknowledgement_timestamp_seconds gauge\n"
        "tillvox_last_acknowledgement_timestamp_seconds{source=\"POS1\"} 1765421001\n"
        "tillvox_last_acknowledgement_timestamp_seconds{source=\"Bar\"} 0\n"
        "# HELP tillvox_output_connected 1 while the output (serial port or recorder link) is open.\n"
        "# TYPE tillvox_output_connected gauge\n"
        "tillvox_output_connected{source=\"POS1\"} 1\n"
        "tillvox_output_connected{source=\"Bar\"} 0\n"
        "# HELP tillvox_recorder_logged_in 1 while a recorder is logged in.\n"
        "# TYPE tillvox_recorder_logged_in gauge\n"
        "tillvox_recorder_logged_in{source=\"POS1\"} 1\n"
        "tillvox_recorder_logged_in{source=\"Bar\"} 0\n"
        "# HELP tillvox_refused_connections_total Connections turned away, by reason.\n"
        "# TYPE tillvox_refused_connections_total counter\n"
        "tillvox_refused_connections_total{source=\"POS1\",reason=\"wrong_password\"} 29\n"
        "tillvox_refused_connections_total{source=\"POS1\",reason=\"junk\"} 2\n"
        "tillvox_refused_connections_total{source=\"POS1\",reason=\"unknown_till\"} 1\n"
        "tillvox_refused_connections_total{source=\"Bar\",reason=\"wrong_password\"} 0\n"
        "tillvox_refused_connections_total{source=\"Bar\",reason=\"junk\"} 0\n"
        "tillvox_refused_connections_total{source=\"Bar\",reason=\"unknown_till\"} 0\n";
    EXPECT_EQ(expected, FormatMetrics(program, {pos1, bar}));
}

TEST(MetricsText, NoSourcesStillNamesTheProgram)
{
    METRICS_PROGRAM program;
    program.strVersion = "1.0";
    program.nStartTime = 5;
    const std::string text = FormatMetrics(program, {});
    EXPECT_NE(std::string::npos, text.find("\ntillvox_build_info{version=\"1.0\"} 1\n"));
    EXPECT_NE(std::string::npos, text.find("\ntillvox_start_timestamp_seconds 5\n"));
    EXPECT_EQ(std::string::npos, text.find("source=")) << text;
    EXPECT_EQ('\n', text.back());
}

TEST(MetricsText, EscapesLabelValues)
{
    const struct { std::string in; std::string out; } cases[] = {
        {"POS1", "POS1"},
        {"Bar \"East\"", "Bar \\\"East\\\""},
        {"C:\\tills\\", "C:\\\\tills\\\\"},
        {"two\nlines", "two\\nlines"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
        {"caf\xe9", "caf\xef\xbf\xbd"},  // a name in the ANSI code page is no UTF-8
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.out, EscapeLabelValue(c.in)) << c.in;

    METRICS_SOURCE odd;
    odd.strName = "A\"B";
    const std::string text = FormatMetrics(METRICS_PROGRAM{}, {odd});
    EXPECT_NE(std::string::npos, text.find("\ntillvox_queue_bytes{source=\"A\\\"B\"} 0\n")) << text;
}
