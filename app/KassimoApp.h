#pragma once
// The application: one instance only, the data folder, the command line, the
// elevated relaunch, the language, the optional Infogenesis library, and the
// main window shown modally until the program ends.
#include "base/LogLine.h"

#include <windows.h>

#include <memory>
#include <vector>
#include <string>

class CLanguage;
class CProgramLog;

constexpr char SINGLE_INSTANCE_MUTEX[] = "Orvane_Kassimo_RestrictOnlyEXE";
// The Infogenesis adapter library, loaded only from the program's own folder.
constexpr char INFOGENESIS_LIBRARY_FILE[] = "InfogenesisPos.dll";

class CKassimoApp {
public:
    CKassimoApp();
    ~CKassimoApp();
    CKassimoApp(const CKassimoApp&) = delete;
    CKassimoApp& operator=(const CKassimoApp&) = delete;

    // Runs the program and returns its exit code.
    int Run(const std::vector<std::string>& arguments);

    std::string m_strDataFolder;
    std::string m_strExeFolder;
    std::unique_ptr<CLanguage> m_pLanguage;
    bool m_bRightToLeft = false;
    bool m_bMonitor = false;
    // Started without full rights and could not be started again with them: runs on without.
    bool m_bWithoutFullRights = false;
    HMODULE m_hInfogenesisLib = nullptr;
    FARPROC m_pfnCreatePtr = nullptr;
    FARPROC m_pfnDeletePtr = nullptr;
    bool m_bOposExists = false;
    // The program's log; made first after the data folder and ended last.
    std::unique_ptr<CProgramLog> m_pLog;

private:
    bool InitInstance(const std::vector<std::string>& arguments);
    void ExitInstance();
    void PrepareDataFolder();
    void FindExeFolder();
    void LoadInfogenesisLibrary();
    void StartLog();
    void Log(LOG_LEVEL level, const std::string& strText);

    HANDLE m_hSingleInstance = nullptr;
    bool m_bOwnsSingleInstance = false;
    bool m_bComReady = false;
    // The product version of the running program, read once at start.
    std::string m_strVersion;
};

extern CKassimoApp* g_pApp;
