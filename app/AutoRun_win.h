#pragma once
// Windows side of the auto-run entry: the Run value in the registry and its
// mirror in the settings file. Include only from Windows-only code.
#include "app/AutoRun.h"

#include <windows.h>

#include <string>

// Owns one open registry key and closes it exactly once.
class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey()
    {
        if (m_hKey)
            RegCloseKey(m_hKey);
    }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    LONG Open(HKEY hRoot, const std::string& path, REGSAM access)
    {
        return RegOpenKeyExA(hRoot, path.c_str(), 0, access, &m_hKey);
    }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

class CAutoRunEntry {
public:
    // The Run key of the machine; tests name another key.
    explicit CAutoRunEntry(HKEY hRoot = HKEY_LOCAL_MACHINE, std::string strKey = AUTORUN_KEY)
        : m_hRoot(hRoot), m_strKey(std::move(strKey))
    {
    }
    void SetKey(HKEY hRoot, const std::string& strKey)
    {
        m_hRoot = hRoot;
        m_strKey = strKey;
    }

    // Writes (bOn) or deletes the Run value and mirrors the choice in the
    // settings file. False when the Run key cannot be opened or the value not
    // written (no administrator rights): then nothing has been written at all.
    bool Apply(bool bOn, const std::string& settingsPath) const;

    // The running executable's full path, as GetModuleFileNameA gives it.
    static std::string ExePath();

private:
    HKEY m_hRoot;
    std::string m_strKey;
};
