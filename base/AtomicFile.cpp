#include "base/AtomicFile.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

bool MoveOver(const std::string& strFrom, const std::string& strTo)
{
#ifdef _WIN32
    return MoveFileExA(strFrom.c_str(), strTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(strFrom.c_str(), strTo.c_str()) == 0;
#endif
}

bool FlushToDisk(std::FILE* file)
{
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

}  // namespace

bool WriteFileAtomically(const std::string& strPath, const std::string& strBytes, bool bToDisk)
{
    const std::string strTemp = strPath + ".tmp";
    std::FILE* file = std::fopen(strTemp.c_str(), "wb");
    if (!file)
        return false;
    bool bOk = std::fwrite(strBytes.data(), 1, strBytes.size(), file) == strBytes.size();
    bOk = std::fflush(file) == 0 && bOk;
    if (bToDisk)
        bOk = bOk && FlushToDisk(file);
    bOk = std::fclose(file) == 0 && bOk;
    if (bOk)
        bOk = MoveOver(strTemp, strPath);
    if (!bOk)
        std::remove(strTemp.c_str());
    return bOk;
}

int WriteMetricsFiles(const std::string& strText, const std::vector<std::string>& folders)
{
    int nWritten = 0;
    for (const std::string& strFolder : folders) {
        if (!strFolder.empty() && WriteFileAtomically(strFolder + METRICS_FILE_NAME, strText))
            ++nWritten;
    }
    return nWritten;
}
