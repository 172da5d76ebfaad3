// The smallest program that does a file source's job, as the yardstick of the
// latency benchmark: watch the folder, read the new bytes, send them on.
//
//   MinimalForwarder PORT FILE [PORT FILE ...]
//
// Listens on 127.0.0.1:PORT for each file, takes one connection per port,
// then forwards every byte appended to FILE to its connection, as it is.
// One watcher thread per folder, however many files it holds. No login,
// acknowledgement, swap, settings or traces: only the road itself.
#include <winsock2.h>
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

struct FORWARDED_FILE {
    std::wstring name;  // as the watcher reports it
    HANDLE hFile = INVALID_HANDLE_VALUE;
    SOCKET hPeer = INVALID_SOCKET;
};

struct WATCHED_FOLDER {
    std::wstring path;
    std::vector<FORWARDED_FILE*> files;
};

void Forward(FORWARDED_FILE& file)
{
    static thread_local char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.hFile, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        for (DWORD sent = 0; sent < got;) {
            const int n = send(file.hPeer, buffer + sent, static_cast<int>(got - sent), 0);
            if (n <= 0)
                std::exit(1);
            sent += static_cast<DWORD>(n);
        }
    }
}

void Watch(WATCHED_FOLDER* folder)
{
    HANDLE hDir = CreateFileW(folder->path.c_str(), FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hDir == INVALID_HANDLE_VALUE)
        std::exit(1);
    alignas(DWORD) static thread_local BYTE records[4096];
    for (;;) {
        DWORD bytes = 0;
        if (!ReadDirectoryChangesW(hDir, records, sizeof records, FALSE,
                                   FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE, &bytes, nullptr, nullptr))
            std::exit(1);
        if (bytes == 0) {  // overflow: look at every file
            for (FORWARDED_FILE* file : folder->files) Forward(*file);
            continue;
        }
        for (DWORD at = 0;;) {
            const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(records + at);
            const std::wstring name(record->FileName, record->FileNameLength / sizeof(WCHAR));
            for (FORWARDED_FILE* file : folder->files)
                if (lstrcmpiW(file->name.c_str(), name.c_str()) == 0)
                    Forward(*file);
            if (record->NextEntryOffset == 0)
                break;
            at += record->NextEntryOffset;
        }
    }
}

DWORD ParentProcessId()
{
    const HANDLE hSnap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnap == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32First(hSnap, &entry); more; more = Process32Next(hSnap, &entry))
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    CloseHandle(hSnap);
    return parent;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: MinimalForwarder PORT FILE [PORT FILE ...]\n");
        return 2;
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    const int count = (argc - 1) / 2;
    std::vector<FORWARDED_FILE> files(static_cast<size_t>(count));
    std::vector<SOCKET> listeners;
    for (int i = 0; i < count; ++i) {
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<u_short>(std::atoi(argv[1 + 2 * i])));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, 1) != 0)
            return 1;
        listeners.push_back(listener);
    }
    std::vector<WATCHED_FOLDER> folders;
    folders.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        FORWARDED_FILE& file = files[static_cast<size_t>(i)];
        file.hPeer = accept(listeners[static_cast<size_t>(i)], nullptr, nullptr);
        if (file.hPeer == INVALID_SOCKET)
            return 1;
        const std::string path = argv[2 + 2 * i];
        const std::wstring wide(path.begin(), path.end());
        const size_t slash = wide.rfind(L'\\');
        file.name = wide.substr(slash + 1);
        file.hFile = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        if (file.hFile == INVALID_HANDLE_VALUE)
            return 1;
        SetFilePointer(file.hFile, 0, nullptr, FILE_END);
        const std::wstring folder = wide.substr(0, slash + 1);
        WATCHED_FOLDER* owner = nullptr;
        for (WATCHED_FOLDER& f : folders)
            if (lstrcmpiW(f.path.c_str(), folder.c_str()) == 0)
                owner = &f;
        if (!owner) {
            folders.push_back(WATCHED_FOLDER{folder, {}});
            owner = &folders.back();
        }
        owner->files.push_back(&file);
    }
    std::vector<std::thread> watchers;
    for (WATCHED_FOLDER& folder : folders) watchers.emplace_back(Watch, &folder);
    // Reads nothing from its connections, so that what the benchmark sends
    // back costs it nothing; it ends when the benchmark ends it or is gone.
    const HANDLE hParent = OpenProcess(SYNCHRONIZE, FALSE, ParentProcessId());
    if (hParent != nullptr)
        WaitForSingleObject(hParent, INFINITE);
    std::exit(0);
}
