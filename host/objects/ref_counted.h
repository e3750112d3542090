// Reference counting for the host's objects that cross the boundary: the
// count starts at 1 for the creator, and the release that reaches 0 frees.
#pragma once

#include "sdk/velmora/host_contract.h"

#include <atomic>
#include <cstdint>
#include <cstring>

inline bool SameClass(const GUID* a, const GUID& b) { return a && std::memcmp(a, &b, sizeof(GUID)) == 0; }

template <class Base> class CRefCounted : public Base {
public:
    CRefCounted() = default;
    CRefCounted(const CRefCounted&) = delete;
    CRefCounted& operator=(const CRefCounted&) = delete;

    int32_t AddRef() override { return references.fetch_add(1, std::memory_order_relaxed) + 1; }

    int32_t Release() override
    {
        int32_t count = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (count == 0) delete this;
        return count;
    }

    int32_t GetReferenceCount() const { return references.load(); }

protected:
    // Virtual here (after the contract's slots), so the last Release frees
    // the whole object.
    virtual ~CRefCounted() = default;

    // QueryClass for objects of one class.
    CHostService* AnswerClass(const GUID* cls, const GUID& own)
    {
        if (!SameClass(cls, own)) return nullptr;
        AddRef();
        return this;
    }

private:
    std::atomic<int32_t> references{1};
};
