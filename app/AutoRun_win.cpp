#include "app/AutoRun_win.h"

#include "base/Trace.h"

bool CAutoRunEntry::Apply(bool bOn, const std::string& settingsPath) const
{
    CRegKey key;
    const LONG nOpened = key.Open(m_hRoot, m_strKey, KEY_ALL_ACCESS);
    if (nOpened != ERROR_SUCCESS) {
        Trace("[Tillvox] auto-run: cannot open the Run key %s, error %ld\n", m_strKey.c_str(), nOpened);
        return false;
    }
    if (bOn) {
        const std::string command = AutoRunCommand(ExePath());
        const LONG nSet = RegSetValueExA(key.Get(), AUTORUN_VALUE, 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(command.c_str()),
                                         static_cast<DWORD>(command.size() + 1));
        if (nSet != ERROR_SUCCESS) {
            Trace("[Tillvox] auto-run: cannot write the value %s, error %ld\n", AUTORUN_VALUE, nSet);
            return false;
        }
        WritePrivateProfileStringA(AUTORUN_SECTION, AUTORUN_SETTING, AutoRunSettingText(true), settingsPath.c_str());
        return true;
    }
    WritePrivateProfileStringA(AUTORUN_SECTION, AUTORUN_SETTING, AutoRunSettingText(false), settingsPath.c_str());
    // A value that is not there is what clearing the box asks for.
    RegDeleteValueA(key.Get(), AUTORUN_VALUE);
    return true;
}

std::string CAutoRunEntry::ExePath()
{
    char path[AUTORUN_PATH_MAX] = {};
    const DWORD nLength = GetModuleFileNameA(nullptr, path, AUTORUN_PATH_MAX);
    return std::string(path, nLength < AUTORUN_PATH_MAX ? nLength : AUTORUN_PATH_MAX - 1);
}
