// COM apartments: each thread counts its own initialisations. The first one
// fixes the thread's model; later ones in the same model are counted and
// answer S_FALSE; one in the other model is refused and not counted, so that
// CoUninitialize balances only the calls that succeeded.
#include <objbase.h>

#include <cstdlib>

#include "apartment.h"

namespace platform::com {
namespace {

struct Apartment {
    unsigned count = 0;
    bool singleThreaded = false;
};

thread_local Apartment apartment;

}  // namespace

bool IsComInitializedOnThisThread() { return apartment.count > 0; }

}  // namespace platform::com

using platform::com::apartment;

extern "C" {

HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD coInit)
{
    if (reserved != nullptr) return E_INVALIDARG;
    bool singleThreaded = (coInit & COINIT_APARTMENTTHREADED) != 0;
    if (apartment.count == 0) {
        apartment.singleThreaded = singleThreaded;
        apartment.count = 1;
        return S_OK;
    }
    if (apartment.singleThreaded != singleThreaded) return RPC_E_CHANGED_MODE;
    ++apartment.count;
    return S_FALSE;
}

HRESULT WINAPI CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void WINAPI CoUninitialize(void)
{
    // An unbalanced call is ignored rather than driving the count below zero.
    if (apartment.count > 0) --apartment.count;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T size) { return std::malloc(size == 0 ? 1 : size); }

LPVOID WINAPI CoTaskMemRealloc(LPVOID memory, SIZE_T size) { return std::realloc(memory, size == 0 ? 1 : size); }

void WINAPI CoTaskMemFree(LPVOID memory) { std::free(memory); }

}  // extern "C"
