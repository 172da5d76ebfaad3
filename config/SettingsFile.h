#pragma once
#include "config/PosSettingInfo.h"
#include "base/ProfileStore.h"

#include <memory>
#include <string>
#include <vector>

// What a source's row in the list shows, as loaded.
struct SOURCE_ROW_TEXT {
    std::string strSource;
    std::string strPosIndex;
    std::string strPort;
    std::string strParameter;
};

struct LOADED_SOURCE {
    std::unique_ptr<POS_SETTING_INFO> pRecord;
    SOURCE_ROW_TEXT row;
};

struct LOADED_SETTINGS {
    std::vector<LOADED_SOURCE> sources;  // at most MAX_SOURCES
    int nFileNumber = 0;                 // the count the file claims, before bounding
};

LOADED_SETTINGS LoadSettingsFrom(CProfileStore& store, bool bRightToLeft);
void SaveSettingsTo(CProfileStore& store, const std::vector<const POS_SETTING_INFO*>& records, bool bRightToLeft);

// The texts a row shows for a record (also used after an edit). The
// Parameter column shows the serial line settings; it stays empty for a TCP output.
std::string SourceColumnText(const POS_SETTING_INFO& record);
std::string ParameterColumnText(const POS_SETTING_INFO& record);

// "TCP(4000)" in left-to-right mode, "(TCP(4000" in right-to-left mode.
std::string WrapTcpPort(const std::string& port, bool bRightToLeft);
// The number inside either wrapper form; a text without "TCP" is returned unchanged.
std::string UnwrapTcpPort(const std::string& stored);

std::string SetupSectionName(int index);
