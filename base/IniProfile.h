#pragma once
#include "base/ProfileStore.h"

#include <string>

// A profile file read and written through the system's profile functions.
class CIniProfile : public CProfileStore {
public:
    explicit CIniProfile(std::string strPath) : m_strPath(std::move(strPath)) {}
    std::string GetString(const std::string& section, const std::string& key, const std::string& def,
                          size_t bufferSize) override;
    int GetInt(const std::string& section, const std::string& key, int def) override;
    bool WriteString(const std::string& section, const std::string& key, const std::string& value) override;
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};
