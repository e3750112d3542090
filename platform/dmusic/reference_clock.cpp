// The reference clocks: see reference_clock.h.
#include "platform/dmusic/reference_clock.h"

#include <platform/clock.h>

namespace dmusic {

namespace {

REFERENCE_TIME PlatformNow(void*) { return platform::ClockNow100ns(); }

}  // namespace

CReferenceClock::CReferenceClock(TimeSource timeSource, void* sourceContext, IUnknown* keep)
    : source(timeSource ? timeSource : PlatformNow), context(sourceContext), kept(keep)
{
    if (kept) kept->AddRef();
}

CReferenceClock::~CReferenceClock()
{
    if (kept) kept->Release();
}

void* CReferenceClock::Find(REFIID iid)
{
    return iid == IID_IReferenceClock ? static_cast<IReferenceClock*>(this) : nullptr;
}

STDMETHODIMP CReferenceClock::GetTime(REFERENCE_TIME* time)
{
    if (!time) return E_POINTER;
    *time = source(context);
    return S_OK;
}

}  // namespace dmusic
