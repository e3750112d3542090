// The performance's notification queue: see notification_queue.h.
#include "platform/dmusic/notification_queue.h"

#include <platform/clock.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace dmusic {

namespace {

int64_t RealNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void FreePerformanceMessage(DMUS_PMSG* message)
{
    if (message->punkUser) message->punkUser->Release();
    std::free(message);
}

void CNotificationQueue::SetHandle(HANDLE notificationEvent, REFERENCE_TIME minimum)
{
    event = notificationEvent;
    holdTime = minimum > 0 ? minimum : kDefaultHold;
}

HRESULT CNotificationQueue::AddType(REFGUID type)
{
    if (std::find(types.begin(), types.end(), type) != types.end()) return S_FALSE;
    types.push_back(type);
    return S_OK;
}

HRESULT CNotificationQueue::RemoveType(REFGUID type)
{
    if (type == GUID_NULL) {
        types.clear();
        return S_OK;
    }
    auto found = std::find(types.begin(), types.end(), type);
    if (found == types.end()) return S_FALSE;
    types.erase(found);
    return S_OK;
}

void CNotificationQueue::Post(const GUID& type, DWORD option, REFERENCE_TIME at, MUSIC_TIME musicAt, IUnknown* user)
{
    if (std::find(types.begin(), types.end(), type) == types.end()) return;
    auto* message = static_cast<DMUS_NOTIFICATION_PMSG*>(std::calloc(1, sizeof(DMUS_NOTIFICATION_PMSG)));
    if (!message) return;
    message->dwSize = sizeof(DMUS_NOTIFICATION_PMSG);
    message->rtTime = at;
    message->mtTime = musicAt;
    message->dwFlags = DMUS_PMSGF_REFTIME | DMUS_PMSGF_MUSICTIME;
    message->dwType = DMUS_PMSGT_NOTIFICATION;
    message->guidNotificationType = type;
    message->dwNotificationOption = option;
    if (user) {
        user->AddRef();
        message->punkUser = user;
    }
    messages.push_back({message, RealNanoseconds()});
    if (event) SetEvent(event);
}

HRESULT CNotificationQueue::Take(DMUS_NOTIFICATION_PMSG** message)
{
    if (messages.empty()) {
        *message = nullptr;
        return S_FALSE;
    }
    *message = messages.front().message;
    messages.pop_front();
    return S_OK;
}

void CNotificationQueue::DropExpired(REFERENCE_TIME now)
{
    const bool realTimeToo = platform::ClockFollowsSinks();
    const int64_t realNow = realTimeToo ? RealNanoseconds() : 0;
    while (!messages.empty() && messages.front().message->rtTime + holdTime < now) {
        if (realTimeToo && realNow - messages.front().postedReal < holdTime * 100) break;
        FreePerformanceMessage(reinterpret_cast<DMUS_PMSG*>(messages.front().message));
        messages.pop_front();
    }
}

void CNotificationQueue::Clear()
{
    for (const CWaiting& waiting : messages) FreePerformanceMessage(reinterpret_cast<DMUS_PMSG*>(waiting.message));
    messages.clear();
    event = nullptr;
    types.clear();
}

}  // namespace dmusic
