#include "app/KassimoApp.h"

#include "app/CommandLine.h"
#include "app/Elevation.h"
#include "app/KassimoDlg.h"
#include "app/MetricsWriter.h"
#include "app/ProgramLog.h"
#include "base/EventLog.h"
#include "base/Trace.h"
#include "net/WinsockInit.h"
#include "lang/Language.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <ctime>

CKassimoApp* g_pApp = nullptr;

namespace {
const DWORD SINGLE_INSTANCE_WAIT_MS = 100;

void CreateFolderIfMissing(const std::string& folder)
{
    if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryA(folder.c_str(), nullptr);
}

// The product version of the running program, "8.5.7.0".
std::string ProgramVersion()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD dwHandle = 0;
    const DWORD dwSize = GetFileVersionInfoSizeA(path, &dwHandle);
    if (dwSize == 0)
        return std::string();
    std::vector<char> data(dwSize);
    VS_FIXEDFILEINFO* pInfo = nullptr;
    UINT nLen = 0;
    if (!GetFileVersionInfoA(path, 0, dwSize, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&pInfo), &nLen) || !pInfo)
        return std::string();
    return std::to_string(HIWORD(pInfo->dwProductVersionMS)) + "." +
        std::to_string(LOWORD(pInfo->dwProductVersionMS)) + "." + std::to_string(HIWORD(pInfo->dwProductVersionLS)) +
        "." + std::to_string(LOWORD(pInfo->dwProductVersionLS));
}
}  // namespace

CKassimoApp::CKassimoApp()
{
    g_pApp = this;
}

CKassimoApp::~CKassimoApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

int CKassimoApp::Run(const std::vector<std::string>& arguments)
{
    InitInstance(arguments);
    ExitInstance();
    return 0;
}

bool CKassimoApp::InitInstance(const std::vector<std::string>& arguments)
{
    // The program runs with full rights: no library is ever looked for in
    // the folder it happens to be started from.
    SetDllDirectoryA("");
    m_hSingleInstance = CreateMutexA(nullptr, FALSE, SINGLE_INSTANCE_MUTEX);
    const DWORD wait = m_hSingleInstance ? WaitForSingleObject(m_hSingleInstance, SINGLE_INSTANCE_WAIT_MS) : WAIT_FAILED;
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
        return false;
    m_bOwnsSingleInstance = true;

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CWinsockInit winsock;
    m_bComReady = SUCCEEDED(CoInitialize(nullptr));

    PrepareDataFolder();
    m_bMonitor = ParseMonitorFlag(arguments);
    FindExeFolder();
    StartLog();

    bool bElevated = false;
    const std::string tail = GetCommandTail(bElevated);
    if (!bElevated && !IsStartedAsService(tail)) {
        Log(LOG_LEVEL::LEVEL_INFO, "started without full rights: asks to be started again with them");
        START_REQUEST_ENV env = DefaultStartRequestEnv();
        env.fnLog = [this](const std::string& strText) { Log(LOG_LEVEL::LEVEL_WARNING, strText); };
        if (RequestStart(m_strExeFolder + "\\Tillvox.exe", m_bMonitor ? "/Service /Monitor" : "/Service", env) !=
            START_FAILED) {
            Log(LOG_LEVEL::LEVEL_INFO, "the start with full rights was asked for: this instance ends");
            return false;
        }
        // Capturing without full rights beats not capturing at all.
        Log(LOG_LEVEL::LEVEL_ERROR, "could not be started again with full rights: runs on without them");
        m_bWithoutFullRights = true;
    }

    m_pLanguage = std::make_unique<CLanguage>();
    const std::string strLanguageFile = m_strExeFolder + "\\Tillvox.xml";
    if (!m_pLanguage->Load(strLanguageFile))
        Log(LOG_LEVEL::LEVEL_ERROR, "the language file " + strLanguageFile + " could not be read: texts stay empty");
    m_bRightToLeft = m_pLanguage->IsRightToLeft() != 0;
    // Said to whoever started it; a start with Windows (monitor mode) must not wait for a person.
    if (m_bWithoutFullRights && !m_bMonitor)
        MessageBoxW(nullptr, m_pLanguage->GetText("IDS_NO_FULL_RIGHTS").c_str(), m_pLanguage->GetText("IDS_CAUTION").c_str(),
                    MB_OK | MB_ICONWARNING | (m_bRightToLeft ? MB_RTLREADING | MB_RIGHT : 0));

    LoadInfogenesisLibrary();
    if (m_hInfogenesisLib) {
        m_pfnCreatePtr = GetProcAddress(m_hInfogenesisLib, "CreatePtr");
        m_pfnDeletePtr = GetProcAddress(m_hInfogenesisLib, "DeletePtr");
    }

    CKassimoDlg dialog(m_pLanguage.get(), m_strDataFolder, m_bMonitor, m_bRightToLeft);
    if (m_pfnCreatePtr && m_pfnDeletePtr) {
        INFOGENESIS_LIBRARY library;
        library.pfnCreatePtr = reinterpret_cast<PFN_INFOGENESIS_CREATE_PTR>(reinterpret_cast<void (*)()>(m_pfnCreatePtr));
        library.pfnDeletePtr = reinterpret_cast<PFN_INFOGENESIS_DELETE_PTR>(reinterpret_cast<void (*)()>(m_pfnDeletePtr));
        dialog.Engine().SetInfogenesisLibrary(library);
    }
    dialog.Engine().SetProgramLog(m_pLog.get());

    char setting[MAX_PATH] = {};
    GetPrivateProfileStringA(METRICS_SECTION, METRICS_FOLDER_KEY, "", setting, sizeof setting,
        (m_strDataFolder + "FileMapPOS.ini").c_str());
    const std::vector<std::string> folders = MetricsFolders(m_strDataFolder, setting);
    if (folders.size() > 1)
        Log(LOG_LEVEL::LEVEL_INFO, "metrics are written to " + folders[1] + " too");
    METRICS_PROGRAM program;
    program.strVersion = m_strVersion;
    program.nStartTime = static_cast<int64_t>(std::time(nullptr));
    CCaptureEngine& engine = dialog.Engine();
    {
        // Ended before the window it reads from.
        CMetricsWriter metrics(program, folders, [&engine] { return engine.MetricsSources(); });
        dialog.DoModal();
    }
    Log(LOG_LEVEL::LEVEL_INFO, "the main window closed");
    return false;
}

void CKassimoApp::StartLog()
{
    m_pLog = std::make_unique<CProgramLog>(m_strDataFolder, std::make_unique<CEventLog>());
    m_strVersion = ProgramVersion();
    Log(LOG_LEVEL::LEVEL_INFO, "program starts, version " + m_strVersion + (m_bMonitor ? ", monitor mode" : ""));
}

void CKassimoApp::Log(LOG_LEVEL level, const std::string& strText)
{
    if (m_pLog)
        m_pLog->Write(level, LOG_PROGRAM_NAME, nullptr, strText);
}

void CKassimoApp::ExitInstance()
{
    if (m_bOwnsSingleInstance)
        ReleaseMutex(m_hSingleInstance);
    if (m_hSingleInstance)
        CloseHandle(m_hSingleInstance);
    m_pLanguage.reset();
    if (m_hInfogenesisLib)
        FreeLibrary(m_hInfogenesisLib);
    if (m_bComReady)
        CoUninitialize();
    Log(LOG_LEVEL::LEVEL_INFO, "program ends");
    // Written out before the process ends.
    m_pLog.reset();
}

void CKassimoApp::PrepareDataFolder()
{
    char common[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, common, CSIDL_COMMON_APPDATA, FALSE);
    std::string folder = std::string(common) + "\\Orvane\\";
    CreateFolderIfMissing(folder);
    folder += "Tillvox\\";
    CreateFolderIfMissing(folder);
    m_strDataFolder = folder;
}

void CKassimoApp::LoadInfogenesisLibrary()
{
    // Only the copy installed beside the program is the shop's adapter. Loaded
    // by bare name, a library of that name in the working folder or on the
    // search path would run with the program's full rights whenever the
    // program folder has none. Its own dependencies are looked for beside it first.
    const std::string path = m_strExeFolder + "\\" + INFOGENESIS_LIBRARY_FILE;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    m_hInfogenesisLib = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!m_hInfogenesisLib)
        Trace("[Tillvox] cannot load %s, error %lu\n", path.c_str(), GetLastError());
}

void CKassimoApp::FindExeFolder()
{
    char path[MAX_PATH] = {};
    HMODULE hModule = GetModuleHandleA("Tillvox.exe");
    GetModuleFileNameA(hModule, path, MAX_PATH);
    std::string full = path;
    const size_t slash = full.rfind('\\');
    m_strExeFolder = slash == std::string::npos ? full : full.substr(0, slash);
}
