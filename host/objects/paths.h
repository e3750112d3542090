// Path forms the host's file systems understand.
#pragma once

#include <string>

// A plain path or a file:// URL (file:///x, file://localhost/x, file:/x,
// percent-encoded) as an absolute, lexically normalised local path: "." and
// empty segments dropped, ".." taking one segment off (never above the root).
// False for other URL schemes, other hosts, an empty path, a bad or NUL
// percent escape.
bool ToLocalPath(const std::string& path, std::string& out);

// Removes "." and empty segments and resolves ".." in an absolute path.
std::string NormalisePath(const std::string& absolutePath);

// True when the text starts with "scheme://" for some URL scheme.
bool HasUrlScheme(const std::string& path, std::string* scheme = nullptr);

// The form archive://ARCHIVE|MEMBER: the archive's local path (any form
// ToLocalPath takes) and the member's name inside it, without leading "./"
// or "/" and without empty or "." segments. An archive path may hold '|'
// itself: the archive is then the first such part that names a file.
bool SplitArchivePath(const std::string& path, std::string& archive, std::string& member);

// A member name as stored in an archive, in the same form.
std::string NormaliseMemberName(const std::string& name);
