// The host's file information.
#include "host/objects/file_info.h"
#include "sdk/velmora/velmora_utf8.h"

int32_t CFileInfo::Find(const CEntries& entries, const char* name)
{
    if (!name) return -1;
    for (size_t i = 0; i < entries.size(); ++i)
        if (stricmp_utf8(entries[i].first.c_str(), name) == 0) return static_cast<int32_t>(i);
    return -1;
}

const char* CFileInfo::GetFieldName(uint32_t index)
{
    return index < fields.size() ? fields[index].first.c_str() : nullptr;
}

const char* CFileInfo::GetFieldValue(uint32_t index)
{
    return index < fields.size() ? fields[index].second.c_str() : nullptr;
}

int32_t CFileInfo::FindField(const char* name) { return Find(fields, name); }

void CFileInfo::RemoveField(uint32_t index)
{
    if (index < fields.size()) fields.erase(fields.begin() + index);
}

const char* CFileInfo::GetField(const char* name)
{
    int32_t index = Find(fields, name);
    return index < 0 ? nullptr : fields[index].second.c_str();
}

void CFileInfo::AddField(const char* name, const char* value)
{
    if (!name || !*name || !value) return;
    fields.emplace_back(name, value);
}

void CFileInfo::SetFieldAt(uint32_t index, const char* value)
{
    if (index < fields.size() && value) fields[index].second = value;
}

const char* CFileInfo::GetInfoName(uint32_t index)
{
    return index < infos.size() ? infos[index].first.c_str() : nullptr;
}

void CFileInfo::SetField(const char* name, const char* value)
{
    if (!name || !*name) return;
    int32_t index = Find(fields, name);
    if (!value) {
        if (index >= 0) fields.erase(fields.begin() + index);
    } else if (index >= 0) {
        fields[index].second = value;
    } else {
        fields.emplace_back(name, value);
    }
}

const char* CFileInfo::GetInfoValue(uint32_t index)
{
    return index < infos.size() ? infos[index].second.c_str() : nullptr;
}

void CFileInfo::SetInfo(const char* name, const char* value)
{
    if (!name || !*name) return;
    int32_t index = Find(infos, name);
    if (!value) {
        if (index >= 0) infos.erase(infos.begin() + index);
    } else if (index >= 0) {
        infos[index].second = value;
    } else {
        infos.emplace_back(name, value);
    }
}

const char* CFileInfo::GetInfo(const char* name)
{
    int32_t index = Find(infos, name);
    return index < 0 ? nullptr : infos[index].second.c_str();
}

void CFileInfo::RemoveInfo(const char* name)
{
    int32_t index = Find(infos, name);
    if (index >= 0) infos.erase(infos.begin() + index);
}

void CFileInfo::Reset()
{
    fields.clear();
    infos.clear();
    length = 0;
}

void CFileInfo::CopyFrom(CHostFileInfo* other)
{
    if (!other || other == this) return;
    Reset();
    for (uint32_t i = 0; i < other->GetFieldCount(); ++i) AddField(other->GetFieldName(i), other->GetFieldValue(i));
    for (uint32_t i = 0; i < other->GetInfoCount(); ++i) SetInfo(other->GetInfoName(i), other->GetInfoValue(i));
    length = other->GetLength();
    if (CHostLocation* where = other->GetLocation()) location.path = where->GetPath() ? where->GetPath() : "";
}
