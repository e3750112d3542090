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

DWORD WINAPI RunMainWindow(void* parameter)
{
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

HWND CVelmoraHost::OpenMainWindow()
{
    CMainWindowStart start;
    start.made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = start.made ? CreateThread(nullptr, 0, RunMainWindow, &start, 0, nullptr) : nullptr;
    if (thread) {
        WaitForSingleObject(start.made, INFINITE);
        CloseHandle(thread);
    }
    if (start.made) CloseHandle(start.made);
    return start.window;
}

void CVelmoraHost::CloseMainWindow(HWND window)
{
    DWORD threadId = GetWindowThreadProcessId(window, nullptr);
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
    PostThreadMessageW(threadId, WM_QUIT, 0, 0);
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}

// The Windows host reads no archives and reaches the system through the
// wide-character calls, so the C runtime's locale stays as it is.
void CVelmoraHost::UseUtf8Locale() {}
