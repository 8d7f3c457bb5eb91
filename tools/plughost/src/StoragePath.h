// Storage paths as the user types them ("bucket/folder/file", UTF-8) and as the host interfaces
// take them (wide strings, relative to the root, whose first component is the bucket).
#pragma once

#include <string>
#include <vector>

namespace plughost {

// Removes leading and trailing separators and collapses repeated ones, accepting '/' and '\'.
// "/bucket//a/b/" becomes "bucket/a/b"; the root is the empty string. A leading "s3://" (in
// any case) is dropped, so "s3://bucket/key" and "bucket/key" name the same object.
std::string NormalizeStoragePath(const std::string& text);

// The path joined with one more component; `name` is appended as it stands.
std::string JoinStoragePath(const std::string& parent, const std::string& name);

// The components of a normalized path, bucket first.
std::vector<std::string> SplitStoragePath(const std::string& path);

// The last component of a normalized path (the bucket for a bucket alone, empty for the root).
std::string LastComponent(const std::string& path);

// The storage path that put stores `localFile` under: `target` normalized, with the local
// file's own name appended when `target` ends in a separator.
std::string PutTargetPath(const std::string& target, const std::string& localFile);

// Why a normalized path cannot name anything on an S3 service, or "" when it can: a key longer
// than the 1,024 bytes the protocol allows, or a bucket name with a ':' (as "s3:/bucket/key",
// a mistyped "s3://", reads).
std::string StoragePathProblem(const std::string& path);

// True when the path has a key below its bucket, that is, names a file or folder.
bool HasKey(const std::string& path);

// The wide host path for a normalized storage path.
std::wstring ToHostPath(const std::string& path);

// UTF-8 text of a wide name that a plug-in returned.
std::string FromHostName(const std::wstring& name);

// True when `text` is valid UTF-8 that survives the round trip through the host's wide
// strings unchanged.
bool IsFaithfulUtf8(const std::string& text);

// Why a single path component cannot be carried between the local file system and storage,
// or an empty string when it can. Rejects empty names, "." and "..", names containing a
// separator ('/' or '\', which the plug-ins read as one) and names that are not valid UTF-8.
std::string ComponentProblem(const std::string& name);

}  // namespace plughost
