// A counted COM reference: releases what it holds on reassignment and at
// destruction; a call through an empty reference raises _com_error(E_POINTER).
#pragma once

#include "tessarine/frame/sdk.h"

#include <utility>

template <class T> class CComReference {
public:
    CComReference() = default;
    // Takes over a reference the caller already owns.
    static CComReference Adopt(T* raw)
    {
        CComReference reference;
        reference.pointer = raw;
        return reference;
    }
    // Adds a reference of its own.
    explicit CComReference(T* raw) : pointer(raw)
    {
        if (pointer) pointer->AddRef();
    }
    CComReference(const CComReference& other) : CComReference(other.pointer) {}
    CComReference(CComReference&& other) noexcept : pointer(std::exchange(other.pointer, nullptr)) {}
    CComReference& operator=(CComReference other) noexcept
    {
        std::swap(pointer, other.pointer);
        return *this;
    }
    ~CComReference() { Release(); }

    void Release()
    {
        if (T* old = std::exchange(pointer, nullptr)) old->Release();
    }
    // Empties the reference and gives its address, for an out-argument.
    T** Receive()
    {
        Release();
        return &pointer;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    T* Detach() { return std::exchange(pointer, nullptr); }

    T* Get() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }
    T* operator->() const
    {
        if (!pointer) throw _com_error(E_POINTER);
        return pointer;
    }

private:
    T* pointer = nullptr;
};
