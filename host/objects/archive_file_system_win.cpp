// Archives on Windows: the Windows host reads no archives (libarchive is
// only in the Linux build), so this file system claims no path and every
// member is absent.
#include "host/objects/archive_file_system.h"

bool ExtractArchiveMember(const std::string&, const std::string&, int, int64_t*, std::string*) { return false; }

CArchiveListing ReadArchiveListing(const std::string&) { return {}; }

bool ListArchiveMembers(const std::string&, std::vector<std::string>*, std::vector<std::string>*) { return false; }

std::string GetLastArchiveError() { return std::string(); }

void CArchiveFile::CloseCopy() {}

int32_t CArchiveFile::Open(const char*, int32_t) { return 0; }

uint32_t CArchiveFile::Read(void*, uint32_t) { return 0; }

int32_t CArchiveFile::SeekFrom(int64_t, int32_t) { return 0; }

void CArchiveFile::Close() { Release(); }

int32_t CArchiveFileSystem::GetCanonicalPath(const char*, CHostString*) { return 0; }

int32_t CArchiveFileSystem::ClaimsPath(const char*) { return 0; }

CHostFile* CArchiveFileSystem::CreateFileObject(const char*) { return nullptr; }

int32_t CArchiveFileSystem::FileExists(const char*) { return 0; }
