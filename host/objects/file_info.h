// File information: fields (tags) in the order they were set, technical
// information, the length, and where the track lives.
#pragma once

#include "sdk/velmora/host_contract.h"

#include <string>
#include <utility>
#include <vector>

class CTrackLocation final : public CHostLocation {
public:
    virtual ~CTrackLocation() = default;
    const char* GetPath() override { return path.c_str(); }
    std::string path;
};

// Field and information names compare without regard to case, so "Title"
// and "title" are one field.
class CFileInfo : public CHostFileInfo {
public:
    CFileInfo() = default;
    explicit CFileInfo(std::string path) { location.path = std::move(path); }
    virtual ~CFileInfo() = default;

    uint32_t GetFieldCount() override { return static_cast<uint32_t>(fields.size()); }
    const char* GetFieldName(uint32_t index) override;
    const char* GetFieldValue(uint32_t index) override;
    int32_t FindField(const char* name) override;
    void RemoveField(uint32_t index) override;
    void RemoveAllFields() override { fields.clear(); }
    const char* GetField(const char* name) override;
    // Appends, even when the name exists already; a null name or value adds nothing.
    void AddField(const char* name, const char* value) override;
    void SetFieldAt(uint32_t index, const char* value) override;
    uint32_t GetInfoCount() override { return static_cast<uint32_t>(infos.size()); }
    const char* GetInfoName(uint32_t index) override;
    // Replaces the first field of that name in its place, else appends; a
    // null value removes that first field.
    void SetField(const char* name, const char* value) override;
    const char* GetInfoValue(uint32_t index) override;
    void SetInfo(const char* name, const char* value) override;
    const char* GetInfo(const char* name) override;
    void RemoveInfo(const char* name) override;
    void Reset() override;
    void CopyFrom(CHostFileInfo* other) override;
    CHostLocation* GetLocation() override { return &location; }
    double GetLength() override { return length; }
    void SetLength(double seconds) override { length = seconds; }

    void SetPath(std::string path) { location.path = std::move(path); }
    const std::vector<std::pair<std::string, std::string>>& Fields() const { return fields; }

private:
    using CEntries = std::vector<std::pair<std::string, std::string>>;
    static int32_t Find(const CEntries& entries, const char* name);

    CEntries fields;
    CEntries infos;
    double length = 0;
    CTrackLocation location;
};
