// CNotificationListener: one per play. Registers an event with the
// performance and runs a thread that drains the performance's notification
// queue into the engine's HandleNotification.
#pragma once

#include "tessarine/frame/owned_handle.h"
#include "tessarine/frame/sdk.h"

class CMidiMusic;

class CNotificationListener {
public:
    // Raises std::runtime_error with a fixed message on failure; what was
    // made so far is undone.
    CNotificationListener(IDirectMusicPerformance* performance, CMidiMusic* owner, double holdSeconds);
    CNotificationListener(const CNotificationListener&) = delete;
    CNotificationListener& operator=(const CNotificationListener&) = delete;
    // Ends and joins the thread, then closes the handles.
    virtual ~CNotificationListener();

    // Thread exit code: 0 after the quit event, 2 when the wait fails.
    static unsigned WINAPI NotificationThread(void* listener);

private:
    friend class CMidiMusic;

    // Registers the null handle in place of this listener's event, once,
    // while this listener's registration is the performance's current one.
    void ReleaseRegistration();

    CRITICAL_SECTION lock;
    IDirectMusicPerformance* performance;  // not counted: the engine outlives the listener
    COwnedHandle notificationEvent;
    COwnedHandle quitEvent;
    COwnedHandle thread;
    CMidiMusic* owner;
    // True from a successful SetNotificationHandle until the registration is
    // released or a newer listener has replaced it.
    bool holdsRegistration = false;
};
