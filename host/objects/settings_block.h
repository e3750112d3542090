// The component's settings block as the host sees it: records of name
// length, name, data length and data (lengths unsigned 32-bit little-endian),
// and the writer through which SaveSettings hands the block over.
#pragma once

#include "sdk/tessarine/settings.h"
#include "sdk/velmora/host_contract.h"

#include <cstdint>
#include <string>
#include <vector>

// Collects what the component writes.
class CSettingsBuffer final : public CSettingsWriter {
public:
    virtual ~CSettingsBuffer() = default;
    void Write(const void* data, uint32_t size) override;
    const std::vector<uint8_t>& Bytes() const { return bytes; }

private:
    std::vector<uint8_t> bytes;
};

struct CSettingsRecord {
    std::string name;
    std::vector<uint8_t> data;
};

struct CSettingsParse {
    std::vector<CSettingsRecord> records;  // the records read completely
    size_t parsedBytes = 0;                // bytes those records take
    bool complete = false;                 // the records reach exactly the end
};

// Reads records from the start; stops at the first one that does not fit.
CSettingsParse ParseSettingsBlock(const uint8_t* data, size_t size);
inline CSettingsParse ParseSettingsBlock(const std::vector<uint8_t>& block)
{
    return ParseSettingsBlock(block.data(), block.size());
}

// The first record of that name; null when there is none.
const CSettingsRecord* FindSettingsRecord(const std::vector<CSettingsRecord>& records, const std::string& name);

std::vector<uint8_t> BuildSettingsBlock(const std::vector<CSettingsRecord>& records);

// A variable's kind as the component publishes it; a name it does not
// publish gets one from the data (4 bytes: an integer; else text).
using tessarine::CSettingKind;
CSettingKind GetSettingKind(const std::string& name, const std::vector<uint8_t>& data);

// The value as the user reads it: numbers in decimal, text as is.
std::string FormatSettingValue(CSettingKind kind, const std::vector<uint8_t>& data);
// The record data for a value the user typed; false (and an explanation in
// error) when the text is not a value of that kind or not one the
// component can use.
bool ParseSettingValue(const std::string& name, CSettingKind kind, const std::string& text, std::vector<uint8_t>& data,
                       std::string& error);

// A setting as the user typed it (config set NAME VALUE, --set NAME=VALUE),
// checked against the component's records: change gets the record to hand
// to the component; false with the message for the user when the name is
// not among the records or the value does not suit it.
// What the user is told of a name the component has no setting of.
std::string UnknownSettingMessage(const std::string& name);
bool ParseSettingChange(const std::vector<CSettingsRecord>& records, const std::string& name, const std::string& text,
                        CSettingsRecord& change, std::string& message);
