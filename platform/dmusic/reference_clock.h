// The reference clocks DirectMusic hands out: the master clock and a port's
// latency clock.
#pragma once

#include <dmusicc.h>

#include "platform/com/unknown_impl.h"

namespace dmusic {

// A reference clock over the platform clock, optionally reading a port's
// latency time instead.
class CReferenceClock final : public platform::CUnknownImpl<IReferenceClock> {
public:
    typedef REFERENCE_TIME (*TimeSource)(void* context);
    // keep (may be null) is held while the clock lives: the time's source.
    CReferenceClock(TimeSource source, void* context, IUnknown* keep = nullptr);
    STDMETHOD(GetTime)(REFERENCE_TIME* time) override;
    STDMETHOD(AdviseTime)(REFERENCE_TIME, REFERENCE_TIME, HANDLE, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(AdvisePeriodic)(REFERENCE_TIME, REFERENCE_TIME, HANDLE, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(Unadvise)(DWORD) override { return E_NOTIMPL; }

protected:
    void* Find(REFIID iid) override;

private:
    ~CReferenceClock() override;
    TimeSource source;
    void* context;
    IUnknown* kept;
};

}  // namespace dmusic
