#include "app/SourceName.h"

std::string SourceLogName(const POS_SETTING_INFO& record, int nRow)
{
    if (!record.strPosIndex.empty())
        return record.strPosIndex;
    return "row " + std::to_string(nRow + 1);
}
