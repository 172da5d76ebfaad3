#pragma once
#include <string>

// The profile (INI) file operations the settings code needs. The program's
// implementation goes through the system's profile functions.
class CProfileStore {
public:
    virtual ~CProfileStore() = default;
    // Reads at most bufferSize - 1 characters, as a fixed buffer of that size would.
    virtual std::string GetString(const std::string& section, const std::string& key,
                                  const std::string& def, size_t bufferSize) = 0;
    virtual int GetInt(const std::string& section, const std::string& key, int def) = 0;
    // False when the value could not be written (a full disk, no rights, a folder in the file's place).
    virtual bool WriteString(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
};
