// Events: manual-reset ones stay signalled until reset; auto-reset ones let
// exactly one wait pass per SetEvent, and keep a signal that nobody waited for
// until the next wait takes it. Named events are shared by name within the
// process, as Windows shares them within a session.
#include <map>
#include <string>

#include <platform/unicode.h>

#include "kernel_objects.h"

namespace platform::kernel {
namespace {

class EventObject : public KernelObject {
public:
    EventObject(bool manualReset, bool signalled) : manualReset(manualReset), signalled(signalled) {}

    bool IsSignalled() const override { return signalled; }
    void Consume() override
    {
        if (!manualReset) signalled = false;
    }

    bool manualReset;
    bool signalled;
};

// Named events, kept only while some handle or waiter holds them.
std::map<std::string, std::weak_ptr<EventObject>>& NamedEventsLocked()
{
    static auto* events = new std::map<std::string, std::weak_ptr<EventObject>>;
    return *events;
}

HANDLE CreateEventNamed(BOOL manualReset, BOOL initialState, const std::string* name)
{
    std::shared_ptr<EventObject> event;
    DWORD error = ERROR_SUCCESS;
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        if (name != nullptr) {
            auto& named = NamedEventsLocked();
            // Forget names whose events are gone, so the map does not grow.
            for (auto entry = named.begin(); entry != named.end();)
                entry = entry->second.expired() ? named.erase(entry) : std::next(entry);
            auto found = named.find(*name);
            if (found != named.end()) {
                event = found->second.lock();
                error = ERROR_ALREADY_EXISTS;
            }
        }
        if (!event) {
            event = std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE);
            if (name != nullptr) NamedEventsLocked()[*name] = event;
        }
    }
    HANDLE handle = InsertHandle(event);
    SetLastError(error);
    return handle;
}

BOOL ChangeEvent(HANDLE handle, bool signalled)
{
    std::shared_ptr<EventObject> event;
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        event = LookupHandleAsLocked<EventObject>(handle);
        if (event) {
            event->signalled = signalled;
            if (signalled) event->WakeWaiters();
        }
    }
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace
}  // namespace platform::kernel

using namespace platform::kernel;

extern "C" {

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    if (name == nullptr) return CreateEventNamed(manualReset, initialState, nullptr);
    std::string text(name);
    return CreateEventNamed(manualReset, initialState, &text);
}

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name)
{
    if (name == nullptr) return CreateEventNamed(manualReset, initialState, nullptr);
    // The same name through either call names the same event: keep it as UTF-8.
    std::string text = platform::Utf16ToUtf8(name, platform::ELoneSurrogate::Keep);
    return CreateEventNamed(manualReset, initialState, &text);
}

BOOL WINAPI SetEvent(HANDLE event) { return ChangeEvent(event, true); }

BOOL WINAPI ResetEvent(HANDLE event) { return ChangeEvent(event, false); }

}  // extern "C"
