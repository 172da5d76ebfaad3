// Close time of a running Tillvox: posts WM_CLOSE to its main window, as a
// click on the window's close box does, and prints the milliseconds from the
// post until the process has ended. Run by scripts/bench-close.sh, which starts
// the program and its recorders; this tool's own start-up under Wine is not in
// the figure. Prints the figure; asserts nothing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int IDC_SOURCE_LIST_ID = 1000;

std::string FullPath(const char* path)
{
    char full[MAX_PATH * 2] = {};
    const DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full) : std::string(path);
}

std::string ImagePath(DWORD dwProcessId)
{
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId);
    if (!hProcess)
        return std::string();
    char path[MAX_PATH * 2] = {};
    DWORD size = sizeof path;
    const BOOL ok = QueryFullProcessImageNameA(hProcess, 0, path, &size);
    CloseHandle(hProcess);
    return ok ? std::string(path, size) : std::string();
}

struct MAIN_WINDOW {
    HWND hWnd;
    DWORD dwProcessId;
};

struct SEARCH {
    std::string strImage;
    std::vector<MAIN_WINDOW> found;
};

// The main window is the unowned top-level dialog that holds the source list;
// in monitor mode it is hidden, but a close request reaches it all the same.
BOOL CALLBACK CollectMainWindow(HWND hWnd, LPARAM lParam)
{
    SEARCH& search = *reinterpret_cast<SEARCH*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == 0 || GetWindow(hWnd, GW_OWNER) != nullptr || !GetDlgItem(hWnd, IDC_SOURCE_LIST_ID))
        return TRUE;
    if (lstrcmpiA(ImagePath(dwProcessId).c_str(), search.strImage.c_str()) == 0)
        search.found.push_back(MAIN_WINDOW{hWnd, dwProcessId});
    return TRUE;
}

class CHandle {
public:
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() { if (m_h) CloseHandle(m_h); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    HANDLE Get() const { return m_h; }
private:
    HANDLE m_h;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3 || std::string(argv[1]) == "--help") {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "usage: bench_CloseTime PROGRAM.exe [TIMEOUT_MS]\n"
                     "Posts WM_CLOSE to the main window of the running PROGRAM.exe (that very file) and\n"
                     "prints \"close ms N\": the milliseconds from the post until the process ended.\n"
                     "Exit codes: 0 closed, 1 not running (or more than one copy), 2 not ended in time\n"
                     "(default 30000 ms), 3 cannot post or wait.\n");
        return argc == 2 ? 0 : 3;
    }
    const DWORD dwTimeoutMs = argc == 3 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : 30000;
    SEARCH search;
    search.strImage = FullPath(argv[1]);
    EnumWindows(CollectMainWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found.size() != 1) {
        std::fprintf(stderr, "bench_CloseTime: %u main windows of %s found, expected one\n",
                     static_cast<unsigned>(search.found.size()), search.strImage.c_str());
        return 1;
    }
    const MAIN_WINDOW target = search.found.front();
    // The process handle is taken before the post, so the end cannot be missed.
    CHandle process(OpenProcess(SYNCHRONIZE, FALSE, target.dwProcessId));
    if (!process.Get()) {
        std::fprintf(stderr, "bench_CloseTime: cannot open process %lu (error %lu)\n", target.dwProcessId,
                     GetLastError());
        return 3;
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!PostMessageA(target.hWnd, WM_CLOSE, 0, 0)) {
        std::fprintf(stderr, "bench_CloseTime: cannot post WM_CLOSE (error %lu)\n", GetLastError());
        return 3;
    }
    const DWORD waited = WaitForSingleObject(process.Get(), dwTimeoutMs);
    QueryPerformanceCounter(&end);
    const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                      static_cast<double>(frequency.QuadPart);
    if (waited != WAIT_OBJECT_0) {
        std::fprintf(stderr, "bench_CloseTime: %s did not end within %lu ms\n", search.strImage.c_str(),
                     dwTimeoutMs);
        return 2;
    }
    std::printf("close ms %.1f\n", ms);
    return 0;
}
