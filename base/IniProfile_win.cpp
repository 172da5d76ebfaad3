#include "base/IniProfile.h"

#include <windows.h>

#include <vector>

std::string CIniProfile::GetString(const std::string& section, const std::string& key, const std::string& def,
                                   size_t bufferSize)
{
    std::vector<char> buffer(bufferSize == 0 ? 1 : bufferSize, '\0');
    GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer.data(),
                             static_cast<DWORD>(buffer.size()), m_strPath.c_str());
    return std::string(buffer.data());
}

int CIniProfile::GetInt(const std::string& section, const std::string& key, int def)
{
    return static_cast<int>(GetPrivateProfileIntA(section.c_str(), key.c_str(), def, m_strPath.c_str()));
}

bool CIniProfile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), m_strPath.c_str()) != FALSE;
}
