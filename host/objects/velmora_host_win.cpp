// The host interface on Windows. The main window lives on a thread of its
// own that dispatches its messages, as a player's main window does: a page
// made under it on the window thread sends it messages (WM_PARENTNOTIFY),
// which Windows delivers only while the window's thread takes messages.
#include "host/objects/velmora_host.h"

namespace {

struct CMainWindowStart {
    HWND window = nullptr;
    HANDLE made = nullptr;
};

DWORD WINAPI RunMainWindow(void* parameter) {
    auto* start = static_cast<CMainWindowStart*>(parameter);
    HWND window = CreateWindowExA(0, "#32770", "Velmora", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 0, 0, 640, 480,
                                  nullptr, nullptr, nullptr, nullptr);
    start->window = window;
    SetEvent(start->made);  // start is gone after this
    MSG message;
    // WM_QUIT, posted by the host as it goes, ends the thread and its window.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (window) DestroyWindow(window);
    return 0;
}

}  // namespace

CVelmoraHost::CVelmoraHost() : console(new CVelmoraConsole()) {
    fileSystems.push_back(new CLocalFileSystem());
    fileSystems.push_back(new CArchiveFileSystem());
    // The player's main window: the parent of the preferences page.
    CMainWindowStart start;
    start.made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = start.made ? CreateThread(nullptr, 0, RunMainWindow, &start, 0, nullptr) : nullptr;
    if (thread) {
        WaitForSingleObject(start.made, INFINITE);
        CloseHandle(thread);
    }
    if (start.made) CloseHandle(start.made);
    mainWindow = start.window;
}

CVelmoraHost::~CVelmoraHost() {
    if (mainWindow) {
        DWORD threadId = GetWindowThreadProcessId(mainWindow, nullptr);
        HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
        PostThreadMessageW(threadId, WM_QUIT, 0, 0);
        if (thread) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
    }
    // The component may still hold references; each object lives until its last.
    for (CHostFileSystem* fileSystem : fileSystems) fileSystem->Release();
    console->Release();
}

CHostService* CVelmoraHost::EnumerateService(const GUID* cls, int32_t index) {
    if (index < 0) return nullptr;
    std::lock_guard<std::mutex> guard(lock);
    CHostService* service = nullptr;
    if (SameClass(cls, CLSID_HostFileSystem)) {
        if (static_cast<size_t>(index) < fileSystems.size()) service = fileSystems[index];
    } else if (SameClass(cls, CLSID_HostConsole)) {
        if (index == 0) service = console;
    }
    if (service) service->AddRef();
    return service;
}

void CVelmoraHost::AddFileSystem(CHostFileSystem* fileSystem) {
    if (!fileSystem) return;
    fileSystem->AddRef();
    std::lock_guard<std::mutex> guard(lock);
    fileSystems.push_back(fileSystem);
}
