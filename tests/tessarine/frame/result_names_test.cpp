// GetResultName over the generated table: raw Win32 codes and their HRESULT
// forms, the preference for COM names, the joined entries, and "Unknown".
#include "tessarine/frame/log.h"
#include "tessarine/frame/result_names.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

std::string Name(uint32_t code) { return GetResultName(HRESULT(code)); }

TEST(ResultNames, TableIsStrictlyAscendingSoTheSearchFindsEveryCode)
{
    ASSERT_GT(resultNameCount, 3000u);
    for (uint32_t i = 1; i < resultNameCount; ++i) ASSERT_LT(resultNames[i - 1].code, resultNames[i].code) << i;
    for (uint32_t i = 0; i < resultNameCount; i += 97)
        EXPECT_EQ(GetResultName(HRESULT(resultNames[i].code)), resultNames[i].name);
    EXPECT_EQ(GetResultName(HRESULT(resultNames[resultNameCount - 1].code)), resultNames[resultNameCount - 1].name);
}

TEST(ResultNames, SmallValuesThatAreAlsoSuccessCodes)
{
    EXPECT_EQ(Name(0), "S_OK");
    EXPECT_EQ(Name(1), "S_FALSE");
    EXPECT_EQ(Name(2), "ERROR_FILE_NOT_FOUND");
    EXPECT_EQ(Name(0x80070002), "ERROR_FILE_NOT_FOUND");
}

TEST(ResultNames, ComNamesWinOverWin32AndDirectXAliases)
{
    EXPECT_EQ(Name(0x80070005), "E_ACCESSDENIED");
    EXPECT_EQ(Name(0x8007000E), "E_OUTOFMEMORY");
    EXPECT_EQ(Name(0x80070057), "E_INVALIDARG");
    EXPECT_EQ(Name(0x80004005), "E_FAIL");
    EXPECT_EQ(Name(0x80004001), "E_NOTIMPL");
    EXPECT_EQ(Name(5), "ERROR_ACCESS_DENIED");
    EXPECT_EQ(Name(14), "ERROR_OUTOFMEMORY");
    EXPECT_EQ(Name(87), "ERROR_INVALID_PARAMETER");
}

TEST(ResultNames, DirectXCodesAndUnknownValues)
{
    EXPECT_EQ(Name(0x88780096), "DSERR_BUFFERLOST");
    EXPECT_EQ(Name(0x8878000A), "DSERR_ALLOCATED");
    EXPECT_EQ(Name(0x88781210), "DMUS_E_DESCEND_CHUNK_FAIL");
    EXPECT_EQ(Name(0x88781161), "DMUS_E_NOT_FOUND");
    EXPECT_EQ(Name(0x88760005), "DDERR_ALREADYINITIALIZED");
    EXPECT_EQ(Name(0x88760868), "D3DERR_DEVICELOST");
    EXPECT_EQ(Name(0x80041002), "WBEM_E_NOT_FOUND");
    EXPECT_EQ(Name(0x80040154), "REGDB_E_CLASSNOTREG");
    EXPECT_EQ(Name(0x80010106), "RPC_E_CHANGED_MODE");
    EXPECT_EQ(Name(10054), "WSAECONNRESET");
    EXPECT_EQ(Name(0xFFFFFFFF), "Unknown");
    EXPECT_EQ(Name(0x7FFFFFFF), "Unknown");
}

TEST(ResultNames, CodesThatAreHresultsAlreadyHaveNoSecondForm)
{
    // ERROR_AUDITING_DISABLED is an HRESULT in the header; 0x80070001 is
    // ERROR_INVALID_FUNCTION's own HRESULT form.
    EXPECT_EQ(Name(0xC0090001), "ERROR_AUDITING_DISABLED");
    EXPECT_EQ(Name(0x80070001), "ERROR_INVALID_FUNCTION");
    EXPECT_EQ(Name(0x80090001), "NTE_BAD_UID");
}

struct CJoined {
    uint32_t code;
    const char* name;
    bool win32;  // also stands under its raw Win32 value
};

const CJoined joinedEntries[] = {
    {0x80040402, "DIERR_BADINF & MS_E_PURPOSEID", false},
    {0x80040401, "DIERR_CANCELLED & MS_E_SAMPLEALLOC", false},
    {0x80040201, "DIERR_DEVICEFULL & VFW_E_INVALIDSUBTYPE & DMO_E_INVALIDSTREAMINDEX", false},
    {0x80040208, "DIERR_EFFECTPLAYING & VFW_E_INVALID_DIRECTION", false},
    {0x80040204, "DIERR_HASEFFECTS & VFW_E_ALREADY_CONNECTED & DMO_E_NOTACCEPTING", false},
    {0x80040206, "DIERR_INCOMPLETEEFFECT & VFW_E_NO_TYPES & DMO_E_NO_MORE_ITEMS", false},
    {0x80040200, "DIERR_INSUFFICIENTPRIVS & VFW_E_INVALIDMEDIATYPE", false},
    {0x8004020B, "DIERR_MAPFILEFAIL & VFW_E_RUNTIME_ERROR", false},
    {0x80040202, "DIERR_MOREDATA & VFW_E_NEED_OWNER & DMO_E_INVALIDTYPE", false},
    {0x80040207, "DIERR_NOTBUFFERED & VFW_E_NO_ACCEPTABLE_TYPES", false},
    {0x80040203, "DIERR_NOTDOWNLOADED & VFW_E_ENUM_OUT_OF_SYNC & DMO_E_TYPE_NOT_SET", false},
    {0x80040205, "DIERR_NOTEXCLUSIVEACQUIRED & VFW_E_FILTER_ACTIVE & DMO_E_TYPE_NOT_ACCEPTED", false},
    {0x8004020A, "DIERR_REPORTFULL & VFW_E_NO_ALLOCATOR", false},
    {0x80040209, "DIERR_UNPLUGGED & VFW_E_NOT_CONNECTED", false},
    {0x800704DF, "ERROR_ALREADY_INITIALIZED & DIERR_ALREADYINITIALIZED", true},
    {0x80070077, "ERROR_BAD_DRIVER_LEVEL & DIERR_BADDRIVERVER", true},
    {0x800700AA, "ERROR_BUSY & DIERR_ACQUIRED", true},
    {0x8007000C, "ERROR_INVALID_ACCESS & DIERR_NOTACQUIRED", true},
    {0x80070490, "ERROR_NOT_FOUND & E_PROP_ID_UNSUPPORTED", true},
    {0x80070015, "ERROR_NOT_READY & DIERR_NOTINITIALIZED", true},
    {0x80070103, "ERROR_NO_MORE_ITEMS & DIERR_NOMOREITEMS", true},
    {0x8007047E, "ERROR_OLD_WIN_VERSION & DIERR_OLDDIRECTINPUTVERSION", true},
    {0x8007001E, "ERROR_READ_FAULT & DIERR_INPUTLOST", true},
    {0x80070481, "ERROR_RMODE_APP & DIERR_BETADIRECTINPUTVERSION", true},
    {0x80070492, "ERROR_SET_NOT_FOUND & E_PROP_SET_UNSUPPORTED", true},
    {0x00040003, "MS_S_ENDOFSTREAM & WBEM_S_DIFFERENT", false},
    {0x00040002, "OLE_S_MAC_CLIPFORMAT & MS_S_NOUPDATE & WBEM_S_RESET_TO_DEFAULT", false},
    {0x00040001, "OLE_S_STATIC & MS_S_PENDING & WBEM_S_ALREADY_EXISTS", false},
};

TEST(ResultNames, JoinedEntriesUnderBothForms)
{
    for (const CJoined& entry : joinedEntries) {
        EXPECT_EQ(Name(entry.code), entry.name);
        if (entry.win32) {
            EXPECT_EQ(Name(entry.code & 0xFFFF), entry.name);
        }
    }
    EXPECT_EQ(Name(21), "ERROR_NOT_READY & DIERR_NOTINITIALIZED");
}

TEST(ResultNames, NoOtherEntryIsJoined)
{
    std::set<std::string> joined;
    for (uint32_t i = 0; i < resultNameCount; ++i)
        if (std::string(resultNames[i].name).find(" & ") != std::string::npos) joined.insert(resultNames[i].name);
    EXPECT_EQ(joined.size(), std::size(joinedEntries));
}

}  // namespace
