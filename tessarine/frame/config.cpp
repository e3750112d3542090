// The configuration variables: each links itself in at the head of the
// variable list when constructed, and turns its value into raw bytes and back.
#include "tessarine/frame/config.h"

#include "tessarine/frame/little_endian.h"
#include "tessarine/frame/pcm_format.h"
#include "tessarine/frame/text_copy.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// Constant-initialised, so it is null before any variable is constructed,
// whatever unit constructs first.
CConfigVariable* variableListHead = nullptr;

void AppendLittleEndian32(CRawDataSink* sink, uint32_t value)
{
    const auto bytes = StoreLittleEndian32(value);
    sink->Append(bytes.data(), uint32_t(bytes.size()));
}

}  // namespace

CConfigVariable* GetFirstConfigVariable() { return variableListHead; }

uint32_t GetBlockSize(int32_t setting)
{
    if (setting < 4) return pcmBytesPerSecond;
    return uint32_t(std::min(setting, largestBlockSize)) & ~uint32_t(3);
}

bool IsUsableMasterTempo(float tempo) { return std::isfinite(tempo) && tempo >= 0.01f && tempo <= 100.0f; }

CConfigVariable::CConfigVariable(const char* name) : name(CopyText(name)), next(variableListHead)
{
    variableListHead = this;
}

CConfigVariable::~CConfigVariable() { delete[] name; }

// ---- CConfigInt ----------------------------------------------------------

CConfigInt::CConfigInt(const char* name, int32_t defaultValue) : CConfigVariable(name), value(defaultValue) {}

bool CConfigInt::GetRawData(CRawDataSink* sink)
{
    AppendLittleEndian32(sink, uint32_t(value));
    return true;
}

void CConfigInt::SetRawData(const void* data, uint32_t size)
{
    if (size == 4) value = int32_t(LoadLittleEndian32(data));
}

// ---- CConfigFloat --------------------------------------------------------

static_assert(sizeof(float) == 4, "the settings block stores IEEE-754 singles");

CConfigFloat::CConfigFloat(const char* name, float defaultValue) : CConfigVariable(name), value(defaultValue) {}

bool CConfigFloat::GetRawData(CRawDataSink* sink)
{
    const float current = value;
    uint32_t bits;
    std::memcpy(&bits, &current, sizeof bits);
    AppendLittleEndian32(sink, bits);
    return true;
}

void CConfigFloat::SetRawData(const void* data, uint32_t size)
{
    if (size != 4) return;
    const uint32_t bits = LoadLittleEndian32(data);
    float loaded;
    std::memcpy(&loaded, &bits, sizeof loaded);
    value = loaded;
}

// ---- CConfigText ---------------------------------------------------------

CConfigText::CConfigText(const char* name, const char* defaultValue) : CConfigVariable(name), value(nullptr)
{
    SetText(defaultValue);
}

CConfigText::~CConfigText() { delete[] value; }

bool CConfigText::GetRawData(CRawDataSink* sink)
{
    CTextLock guard(busy);
    if (value) sink->Append(value, uint32_t(std::strlen(value)));
    return true;
}

void CConfigText::SetRawData(const void* data, uint32_t size)
{
    CTextLock guard(busy);
    const char* bytes = static_cast<const char*>(data);
    const void* nul = size ? std::memchr(bytes, 0, size) : nullptr;
    const size_t length = nul ? size_t(static_cast<const char*>(nul) - bytes) : size;
    if (length == 0) {
        delete[] value;
        value = nullptr;
        return;
    }
    // The old text stays when there is no memory for the new one.
    char* copy = new (std::nothrow) char[length + 1];
    if (!copy) return;
    std::memcpy(copy, bytes, length);
    copy[length] = 0;
    delete[] value;
    value = copy;
}

void CConfigText::SetText(const char* text) { SetRawData(text ? text : "", text ? uint32_t(std::strlen(text)) : 0); }

CConfigText::CTextLock::CTextLock(std::atomic_flag& flag) : flag(flag)
{
    while (flag.test_and_set(std::memory_order_acquire)) {}
}

CConfigText::CTextLock::~CTextLock() { flag.clear(std::memory_order_release); }

std::string CConfigText::CopyText() const
{
    CTextLock guard(busy);
    return value ? std::string(value) : std::string();
}
