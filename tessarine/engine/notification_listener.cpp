// The notification listener: registers an auto-reset event with the
// performance and drains the performance's notification queue on its own
// thread into the engine's HandleNotification.
#include "tessarine/engine/notification_listener.h"

#include "sdk/velmora/velmora_utf8.h"
#include "tessarine/engine/midi_music.h"

#include <process.h>

#include <cmath>
#include <stdexcept>

namespace {

// Hold seconds as 100-nanosecond units, truncated toward zero; what is not a
// number counts as 0 and the range is held to what 64 bits carry.
REFERENCE_TIME HoldTimeUnits(double holdSeconds)
{
    const double units = holdSeconds * 10000000.0;
    if (!(units > 0.0)) return 0;
    if (units >= 9.2e18) return REFERENCE_TIME(9200000000000000000LL);
    return REFERENCE_TIME(units);
}

}  // namespace

CNotificationListener::CNotificationListener(IDirectMusicPerformance* performance, CMidiMusic* owner,
                                             double holdSeconds)
    : performance(performance), owner(owner)
{
    InitializeCriticalSection(&lock);
    try {
        notificationEvent.Reset(uCreateEvent(nullptr, FALSE, FALSE, nullptr));
        quitEvent.Reset(uCreateEvent(nullptr, TRUE, FALSE, nullptr));
        if (!notificationEvent || !quitEvent) throw std::runtime_error("Error creating notification thread");
        if (!performance) throw std::runtime_error("Error adding notification Handle");

        if (FAILED(performance->SetNotificationHandle(notificationEvent.Get(), HoldTimeUnits(holdSeconds))))
            throw std::runtime_error("Error adding notification Handle");
        holdsRegistration = true;
        if (FAILED(performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE)))
            throw std::runtime_error("Error adding notification");

        const uintptr_t started =
            _beginthreadex(nullptr, 0, &CNotificationListener::NotificationThread, this, CREATE_SUSPENDED, nullptr);
        if (started == 0) throw std::runtime_error("Error spawning notification thread");
        thread.Reset(reinterpret_cast<HANDLE>(started));
        ResumeThread(thread.Get());
    } catch (...) {
        // The performance must never signal an event that is about to close.
        ReleaseRegistration();
        notificationEvent.Close();
        quitEvent.Close();
        DeleteCriticalSection(&lock);
        throw;
    }
}

CNotificationListener::~CNotificationListener()
{
    if (thread) {
        SetEvent(quitEvent.Get());
        WaitForSingleObject(thread.Get(), INFINITE);
    }
    ReleaseRegistration();
    thread.Close();
    quitEvent.Close();
    notificationEvent.Close();
    DeleteCriticalSection(&lock);
}

void CNotificationListener::ReleaseRegistration()
{
    if (!holdsRegistration) return;
    holdsRegistration = false;
    performance->SetNotificationHandle(nullptr, 0);
}

unsigned WINAPI CNotificationListener::NotificationThread(void* argument)
{
    auto* self = static_cast<CNotificationListener*>(argument);
    const HANDLE handles[2] = {self->notificationEvent.Get(), self->quitEvent.Get()};
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 + 1) return 0;
        if (woken != WAIT_OBJECT_0) return 2;
        // Drain until the queue is empty or a call fails.
        for (;;) {
            DMUS_NOTIFICATION_PMSG* message = nullptr;
            if (FAILED(self->performance->GetNotificationPMsg(&message))) break;
            EnterCriticalSection(&self->lock);
            self->owner->HandleNotification(message);
            const HRESULT freed =
                message ? self->performance->FreePMsg(reinterpret_cast<DMUS_PMSG*>(message)) : E_POINTER;
            LeaveCriticalSection(&self->lock);
            if (FAILED(freed)) break;
        }
    }
}
