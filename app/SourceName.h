#pragma once
#include "config/PosSettingInfo.h"

#include <string>

// What names a source in the log, the event log and the metrics: its POS
// index as the row shows it ("POS3"), which the editing rules keep unique;
// "row N" (counted from 1) for a record without one.
std::string SourceLogName(const POS_SETTING_INFO& record, int nRow);
