// _com_error: the exception that carries a COM result.
#pragma once

#include <objbase.h>

class _com_error {
public:
    explicit _com_error(HRESULT result) noexcept : result(result) {}
    HRESULT Error() const noexcept { return result; }
    WORD WCode() const noexcept;
    const TCHAR* ErrorMessage() const noexcept;

private:
    HRESULT result;
};

void _com_issue_error(HRESULT result);
