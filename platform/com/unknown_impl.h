// Reference counting and QueryInterface for the platform's COM objects: a
// class lists the interfaces it derives from and answers for, IUnknown
// through the first, and says in Find which interface each identifier gives.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <new>

namespace platform {

template <typename First, typename... Rest> class CUnknownImpl : public First, public Rest... {
public:
    virtual ~CUnknownImpl() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown))
            *object = static_cast<IUnknown*>(static_cast<First*>(this));
        else
            *object = Find(iid);
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --references;
        if (left == 0) delete this;
        return left;
    }

protected:
    // The interface pointer this object gives for iid, or null.
    virtual void* Find(REFIID iid) = 0;
    // Adds a reference unless the last one is already gone (the object is
    // being destroyed): for a table that lists objects without holding them.
    bool TryAddRef()
    {
        ULONG count = references.load();
        while (count != 0)
            if (references.compare_exchange_weak(count, count + 1)) return true;
        return false;
    }

private:
    std::atomic<ULONG> references{1};
};

// Creates an object of T for a class factory, refusing aggregation.
template <typename T> HRESULT CreateComObject(LPUNKNOWN outer, REFIID iid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    T* created = new (std::nothrow) T();
    if (!created) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
}

}  // namespace platform
