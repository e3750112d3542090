// The performance's notifications: the types a caller asked for, the
// messages waiting for GetNotificationPMsg, the event that says one came,
// and how long one nobody takes is kept. The performance's lock guards it.
#pragma once

#include <dmusici.h>

#include <deque>
#include <vector>

namespace dmusic {

// Frees a message the performance allocated, with the reference it holds.
void FreePerformanceMessage(DMUS_PMSG* message);

class CNotificationQueue {
public:
    CNotificationQueue() = default;
    ~CNotificationQueue() { Clear(); }
    CNotificationQueue(const CNotificationQueue&) = delete;
    CNotificationQueue& operator=(const CNotificationQueue&) = delete;

    // The event to signal (may be null) and the hold time; 0 asks for the
    // default hold of two seconds.
    void SetHandle(HANDLE event, REFERENCE_TIME minimum);
    // S_FALSE when the type was already (or, removing, not) asked for;
    // GUID_NULL removes every type.
    HRESULT AddType(REFGUID type);
    HRESULT RemoveType(REFGUID type);
    // Queues a notification, when its type was asked for, and signals the
    // event. user (may be null) is held by the message.
    void Post(const GUID& type, DWORD option, REFERENCE_TIME at, MUSIC_TIME musicAt, IUnknown* user);
    // The oldest message, now the caller's; S_FALSE and null when none waits.
    HRESULT Take(DMUS_NOTIFICATION_PMSG** message);
    // Drops the messages unclaimed for longer than the hold time. While the
    // clock follows the sinks it races ahead of every other thread, so there
    // a message also waits the hold time in real time: a reader the machine
    // holds up for a moment loses nothing it would have had at real time.
    void DropExpired(REFERENCE_TIME now);
    // Frees what waits and forgets the event and the types.
    void Clear();

private:
    static constexpr REFERENCE_TIME kDefaultHold = 20000000;

    HANDLE event = nullptr;
    REFERENCE_TIME holdTime = kDefaultHold;
    std::vector<GUID> types;
    struct CWaiting {
        DMUS_NOTIFICATION_PMSG* message;
        int64_t postedReal;  // steady-clock nanoseconds
    };
    std::deque<CWaiting> messages;
};

}  // namespace dmusic
