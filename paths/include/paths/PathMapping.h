// Mapping of the host's wide-character paths onto buckets and keys. Pure string work: no
// request, no state. The first component of a storage path is the bucket, the rest the key.
#pragma once

#include <string>
#include <string_view>
#include <utility>

// The host path in UTF-8 with every '\' replaced by '/'. Nothing else changes: separators are
// neither trimmed nor collapsed, and '.' and '..' components stay (HasOnlyNamedComponents
// tells the paths that are refused for them).
std::string GetStoragePath(const std::wstring& hostPath);

// (bucket, key): the text before the first '/' and everything after it. Without a '/', the
// whole path is the bucket and the key is empty.
std::pair<std::string, std::string> SplitStoragePath(const std::string& storagePath);

// The last component of a storage path or key. A trailing '/' of the input is kept on the
// name, so the name of "a/b/" is "b/".
std::string GetElementName(const std::string& path);

// Whether `name` can be one element of a host's path: not empty, not "." or "..", and without
// '/' or '\', which a host reads as separators. A host joins listed names to its own paths, so
// any other name would lead it somewhere else than the element it was listed for.
bool IsElementName(std::string_view name);

// Whether every component of a storage path is an element name. The root (the empty path) has
// no components; a single trailing '/' ends the last component and adds none.
bool HasOnlyNamedComponents(std::string_view storagePath);
