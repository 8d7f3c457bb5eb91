// Arbitrary host paths: the storage path holds no '\', splitting it and joining the parts
// gives it back, and the element name is a suffix of what it was taken from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "paths/PathMapping.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring host(size / sizeof(wchar_t), L'\0');
    if (!host.empty()) std::memcpy(&host[0], data, host.size() * sizeof(wchar_t));
    const std::string storage = GetStoragePath(host);
    if (storage.find('\\') != std::string::npos) std::abort();

    const auto [bucket, key] = SplitStoragePath(storage);
    if (bucket.find('/') != std::string::npos) std::abort();
    const std::string joined = storage.find('/') == std::string::npos ? bucket : bucket + "/" + key;
    if (joined != storage) std::abort();

    const std::string name = GetElementName(storage);
    if (name.size() > storage.size()) std::abort();
    if (storage.compare(storage.size() - name.size(), name.size(), name) != 0) std::abort();
    return 0;
}
