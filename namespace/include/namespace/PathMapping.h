// Mapping of the host's wide-character paths onto buckets and keys. Pure string work: no
// request, no state. The first component of a storage path is the bucket, the rest the key.
#pragma once

#include <string>
#include <utility>

// The host path in UTF-8 with every '\' replaced by '/'. Nothing else changes: separators are
// neither trimmed nor collapsed, and '.' and '..' components stay.
std::string GetStoragePath(const std::wstring& hostPath);

// (bucket, key): the text before the first '/' and everything after it. Without a '/', the
// whole path is the bucket and the key is empty.
std::pair<std::string, std::string> SplitStoragePath(const std::string& storagePath);

// The last component of a storage path or key. A trailing '/' of the input is kept on the
// name, so the name of "a/b/" is "b/".
std::string GetElementName(const std::string& path);
