#pragma once
#include "base/SourceCounters.h"

#include <cstdint>
#include <string>
#include <vector>

struct METRICS_SOURCE {
    std::string strName;  // the source's name, the "source" label
    SOURCE_COUNTERS_SNAPSHOT counters;
    bool bOutputConnected = false;
    bool bRecorderLoggedIn = false;
};

struct METRICS_PROGRAM {
    std::string strVersion;
    int64_t nStartTime = 0;  // seconds since 1970 (UTC)
};

// The metrics in Prometheus' text exposition format (version 0.0.4): every
// family with its HELP and TYPE lines, one sample per source. Timestamps
// that never happened are 0.
std::string FormatMetrics(const METRICS_PROGRAM& program, const std::vector<METRICS_SOURCE>& sources);

// A label value as the format wants it: UTF-8, with backslash, double quote
// and line feed escaped.
std::string EscapeLabelValue(const std::string& strValue);
