// Owns one kernel handle (an event or a thread) and closes it when destroyed.
#pragma once

#include "tessarine/frame/sdk.h"

#include <utility>

class COwnedObject {
public:
    virtual ~COwnedObject() = default;
};

class COwnedHandle : public COwnedObject {
public:
    COwnedHandle() = default;
    explicit COwnedHandle(HANDLE handle) : handle(handle) {}
    COwnedHandle(const COwnedHandle&) = delete;
    COwnedHandle& operator=(const COwnedHandle&) = delete;
    ~COwnedHandle() override { Close(); }

    void Reset(HANDLE newHandle)
    {
        Close();
        handle = newHandle;
    }
    void Close()
    {
        if (HANDLE old = std::exchange(handle, nullptr)) CloseHandle(old);
    }
    HANDLE Get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }

private:
    HANDLE handle = nullptr;
};
