// Host records describing one element of a storage destination.
#pragma once

#include <cstdint>
#include <string>

// Attributes of a file or folder as the host exchanges them with a storage plug-in.
// Field order and widths are part of the host's binary interface.
class CFileAttributes {
  public:
    static constexpr std::uint32_t DirectoryAttribute = 0x10;
    static constexpr std::uint32_t NormalFileAttribute = 0x80;

    CFileAttributes();

    bool IsDirectory() const { return (attributes & DirectoryAttribute) != 0; }

    std::int64_t creationTime;      // seconds since the Unix epoch; not used by the plug-ins
    std::int64_t accessTime;        // seconds since the Unix epoch; not used by the plug-ins
    std::int64_t modificationTime;  // seconds since the Unix epoch
    std::uint64_t size;             // bytes
    std::uint32_t attributes;       // DirectoryAttribute or NormalFileAttribute

    // One flag byte, lowest bit first.
    bool creationTimeValid : 1;
    bool accessTimeValid : 1;
    bool timeValid : 1;  // 0x04: modificationTime holds a value
    bool sizeValid : 1;  // 0x08: size holds a value
    std::uint8_t reservedFlags : 4;

    std::wstring owner;
    std::wstring group;
};

// One entry of a listing: the attributes and the element's own name (no separators).
class CFileInfo : public CFileAttributes {
  public:
    CFileInfo();

    std::wstring name;
    std::wstring alternateName;  // not used by the plug-ins
};
