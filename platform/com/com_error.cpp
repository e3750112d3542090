// _com_error's codes and texts. The texts are the system's own for the
// results COM and the stand-ins give out.
#include <comdef.h>

#include <cstdio>

namespace {

struct ResultText {
    HRESULT result;
    const char* text;
};

const ResultText resultTexts[] = {
    {S_OK, "The operation completed successfully."},
    {S_FALSE, "Incorrect function."},
    {E_UNEXPECTED, "Catastrophic failure"},
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_ABORT, "Operation aborted"},
    {E_FAIL, "Unspecified error"},
    {E_ACCESSDENIED, "Access is denied."},
    {E_HANDLE, "The handle is invalid."},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
    {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
    {RPC_E_CHANGED_MODE, "Cannot change thread mode after it is set."},
};

}  // namespace

HRESULT _com_error::WCodeToHRESULT(WORD code) noexcept
{
    return code >= 0xFE00 ? static_cast<HRESULT>(0x8004FFFF) : static_cast<HRESULT>(0x80040200u + code);
}

WORD _com_error::HRESULTToWCode(HRESULT result) noexcept
{
    auto value = static_cast<uint32_t>(result);
    return value >= 0x80040200u && value <= 0x8004FFFFu ? static_cast<WORD>(value - 0x80040200u) : 0;
}

WORD _com_error::WCode() const noexcept { return HRESULTToWCode(result); }

const TCHAR* _com_error::ErrorMessage() const noexcept
{
    if (message[0] != '\0') return message;
    for (const ResultText& entry : resultTexts) {
        if (entry.result == result) {
            std::snprintf(message, sizeof message, "%s", entry.text);
            return message;
        }
    }
    if (WCode() != 0)
        std::snprintf(message, sizeof message, "IDispatch error #%u", static_cast<unsigned>(WCode()));
    else
        std::snprintf(message, sizeof message, "Unknown error 0x%0X", static_cast<unsigned>(result));
    return message;
}

void _com_issue_error(HRESULT result) { throw _com_error(result); }
