// _com_error: the exception that carries a COM result.
#pragma once

#include <objbase.h>

class _com_error {
public:
    explicit _com_error(HRESULT result) noexcept : result(result) {}
    _com_error(const _com_error& other) noexcept : result(other.result) {}
    _com_error& operator=(const _com_error& other) noexcept
    {
        result = other.result;
        message[0] = '\0';
        return *this;
    }

    HRESULT Error() const noexcept { return result; }
    // The interface-specific code of a FACILITY_ITF result of 0x200 or more
    // (as an IDispatch exception code would be), else 0.
    WORD WCode() const noexcept;
    // The result's system text, "IDispatch error #n" for an interface code,
    // or "Unknown error 0x%0lX". Kept by the object.
    const TCHAR* ErrorMessage() const noexcept;

    static HRESULT WCodeToHRESULT(WORD code) noexcept;
    static WORD HRESULTToWCode(HRESULT result) noexcept;

private:
    HRESULT result;
    mutable TCHAR message[96] = {};
};

// Raises _com_error for result.
[[noreturn]] void _com_issue_error(HRESULT result);
