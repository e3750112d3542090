// Reading, building and typing the records of the component's settings block.
#include "host/objects/settings_block.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

uint32_t ReadLength(const uint8_t* data)
{
    return static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 | static_cast<uint32_t>(data[2]) << 16 |
           static_cast<uint32_t>(data[3]) << 24;
}

void AppendLength(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

void CSettingsBuffer::Write(const void* data, uint32_t size)
{
    if (!data || size == 0) return;
    const uint8_t* bytesIn = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), bytesIn, bytesIn + size);
}

CSettingsParse ParseSettingsBlock(const uint8_t* data, size_t size)
{
    CSettingsParse result;
    size_t offset = 0;
    while (offset < size) {
        if (size - offset < 4) return result;
        uint32_t nameLength = ReadLength(data + offset);
        if (size - offset - 4 < nameLength) return result;
        size_t nameStart = offset + 4;
        size_t afterName = nameStart + nameLength;
        if (size - afterName < 4) return result;
        uint32_t dataLength = ReadLength(data + afterName);
        size_t dataStart = afterName + 4;
        if (size - dataStart < dataLength) return result;

        CSettingsRecord record;
        record.name.assign(reinterpret_cast<const char*>(data + nameStart), nameLength);
        record.data.assign(data + dataStart, data + dataStart + dataLength);
        result.records.push_back(std::move(record));
        offset = dataStart + dataLength;
        result.parsedBytes = offset;
    }
    result.complete = true;
    return result;
}

const CSettingsRecord* FindSettingsRecord(const std::vector<CSettingsRecord>& records, const std::string& name)
{
    for (const CSettingsRecord& record : records)
        if (record.name == name) return &record;
    return nullptr;
}

std::vector<uint8_t> BuildSettingsBlock(const std::vector<CSettingsRecord>& records)
{
    std::vector<uint8_t> out;
    for (const CSettingsRecord& record : records) {
        AppendLength(out, static_cast<uint32_t>(record.name.size()));
        out.insert(out.end(), record.name.begin(), record.name.end());
        AppendLength(out, static_cast<uint32_t>(record.data.size()));
        out.insert(out.end(), record.data.begin(), record.data.end());
    }
    return out;
}

CSettingKind GetSettingKind(const std::string& name, const std::vector<uint8_t>& data)
{
    if (const tessarine::CSettingDescription* known = tessarine::FindSettingDescription(name)) return known->kind;
    return data.size() == 4 ? CSettingKind::Integer : CSettingKind::Text;
}

std::string FormatSettingValue(CSettingKind kind, const std::vector<uint8_t>& data)
{
    if (kind != CSettingKind::Text && data.size() == 4) {
        uint32_t bits = ReadLength(data.data());
        char digits[64];
        std::to_chars_result end;
        if (kind == CSettingKind::Integer) {
            end = std::to_chars(digits, digits + sizeof digits, static_cast<int32_t>(bits));
        } else {
            float value;
            std::memcpy(&value, &bits, sizeof value);
            end = std::to_chars(digits, digits + sizeof digits, value);
        }
        return std::string(digits, end.ptr);
    }
    // Text ends at its first NUL, as the component reads it.
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

bool ParseSettingValue(const std::string& name, CSettingKind kind, const std::string& text, std::vector<uint8_t>& data,
                       std::string& error)
{
    data.clear();
    if (kind == CSettingKind::Text) {
        data.assign(text.begin(), text.end());
        return true;
    }
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    if (kind == CSettingKind::Integer) {
        int64_t value = 0;
        auto [end, status] = std::from_chars(first, last, value);
        if (status != std::errc() || end != last || first == last) {
            error = "'" + text + "' is not a whole number";
            return false;
        }
        const tessarine::CSettingDescription* known = tessarine::FindSettingDescription(name);
        int64_t minimum = known ? known->minimum : tessarine::settingIntMin;
        int64_t maximum = known ? known->maximum : tessarine::settingIntMax;
        if (value < minimum || value > maximum) {
            error =
                "'" + text + "' is out of range (" + std::to_string(minimum) + " to " + std::to_string(maximum) + ")";
            return false;
        }
        AppendLength(data, static_cast<uint32_t>(static_cast<int32_t>(value)));
        return true;
    }
    float value = 0;
    auto [end, status] = std::from_chars(first, last, value);
    if (status != std::errc() || end != last || first == last || !std::isfinite(value)) {
        error = "'" + text + "' is not a number";
        return false;
    }
    if (value < 0) {
        error = "'" + text + "' is out of range (0 or more)";
        return false;
    }
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    AppendLength(data, bits);
    return true;
}

std::string UnknownSettingMessage(const std::string& name)
{
    return "unknown setting '" + name + "' (velmora config list shows them all)";
}

bool ParseSettingChange(const std::vector<CSettingsRecord>& records, const std::string& name, const std::string& text,
                        CSettingsRecord& change, std::string& message)
{
    const CSettingsRecord* record = FindSettingsRecord(records, name);
    if (!record) {
        message = UnknownSettingMessage(name);
        return false;
    }
    std::string error;
    change.name = name;
    if (!ParseSettingValue(name, GetSettingKind(name, record->data), text, change.data, error)) {
        message = "bad value for " + name + ": " + error;
        return false;
    }
    return true;
}
