// The mapping of host paths onto buckets and keys that every operation with a path shares.
#include <gtest/gtest.h>

#include <string>

#include "paths/PathMapping.h"

namespace {

struct MappingCase {
    std::wstring hostPath;
    std::string storagePath;
    std::string bucket;
    std::string key;
};

class PathMappingTable : public ::testing::TestWithParam<MappingCase> {};

TEST_P(PathMappingTable, StoragePathBucketAndKey) {
    const MappingCase& c = GetParam();
    const std::string storagePath = GetStoragePath(c.hostPath);
    EXPECT_EQ(storagePath, c.storagePath);
    const auto [bucket, key] = SplitStoragePath(storagePath);
    EXPECT_EQ(bucket, c.bucket);
    EXPECT_EQ(key, c.key);
}

INSTANTIATE_TEST_SUITE_P(
    HostPaths, PathMappingTable,
    ::testing::Values(
        MappingCase{L"", "", "", ""},
        MappingCase{L"backup\\2024\\full.bak", "backup/2024/full.bak", "backup", "2024/full.bak"},
        MappingCase{L"backup/2024\\full.bak", "backup/2024/full.bak", "backup", "2024/full.bak"},
        MappingCase{L"backup", "backup", "backup", ""},
        MappingCase{L"backup\\", "backup/", "backup", ""},
        MappingCase{L"backup\\2024\\", "backup/2024/", "backup", "2024/"},
        MappingCase{L"backup\\\\2024", "backup//2024", "backup", "/2024"},
        MappingCase{L"\\backup\\2024", "/backup/2024", "", "backup/2024"},
        // The mapping resolves no '.' or '..' (HasOnlyNamedComponents refuses such paths).
        MappingCase{L"backup\\..\\x", "backup/../x", "backup", "../x"}));

TEST(PathMapping, CharactersOutsideAsciiKeepTheirUtf8Bytes) {
    // "Sicherung\Übersicht 2024\Größe.bak", with a CJK and an astral character in the key.
    const std::wstring hostPath =
        L"Sicherung\\\u00dcbersicht 2024\\Gr\u00f6\u00dfe \u65e5\U0001F600.bak";
    const std::string storagePath = GetStoragePath(hostPath);
    EXPECT_EQ(storagePath,
              "Sicherung/\xc3\x9c"
              "bersicht 2024/Gr\xc3\xb6\xc3\x9f"
              "e \xe6\x97\xa5\xf0\x9f\x98\x80.bak");
    const auto [bucket, key] = SplitStoragePath(storagePath);
    EXPECT_EQ(bucket, "Sicherung");
    EXPECT_EQ(key,
              "\xc3\x9c"
              "bersicht 2024/Gr\xc3\xb6\xc3\x9f"
              "e \xe6\x97\xa5\xf0\x9f\x98\x80.bak");
    EXPECT_EQ(GetElementName(key),
              "Gr\xc3\xb6\xc3\x9f"
              "e \xe6\x97\xa5\xf0\x9f\x98\x80.bak");
}

TEST(PathMapping, OnlyTheBackslashIsASeparatorToReplace) {
    // Characters a file system might object to stay as they are.
    EXPECT_EQ(GetStoragePath(L"b\\a:b*c?d<e>f|g\"h"), "b/a:b*c?d<e>f|g\"h");
    // A lone trailing backslash on a deep path, and a run of them.
    EXPECT_EQ(GetStoragePath(L"\\\\\\"), "///");
}

TEST(ElementName, LastComponentWithItsTrailingSeparator) {
    EXPECT_EQ(GetElementName("backup/2024/full.bak"), "full.bak");
    EXPECT_EQ(GetElementName("backup/2024/"), "2024/");
    EXPECT_EQ(GetElementName("backup"), "backup");
    EXPECT_EQ(GetElementName(""), "");
    EXPECT_EQ(GetElementName("backup//"), "/");
    EXPECT_EQ(GetElementName("/"), "/");
    EXPECT_EQ(GetElementName("a/b"), "b");
    EXPECT_EQ(GetElementName("2024/daily"), "daily");
}

// What a host may join to its own paths as one element. Dots are plain characters but for "."
// and ".." alone.
TEST(ElementNames, NeitherDotsAloneNorSeparatorsNorNothing) {
    for (const char* name : {"", ".", "..", "a\\b.txt", "..\\..\\evil.txt", "\\", "a/b"}) {
        EXPECT_FALSE(IsElementName(name)) << name;
    }
    for (const char* name :
         {"...", ".hidden", "n..bak", "cr\rname", "&#xA;", "%41+ <q>", "\xc3\xbc"}) {
        EXPECT_TRUE(IsElementName(name)) << name;
    }
}

// The root, and one trailing separator, add no component.
TEST(NamedComponents, NoneEmptyNorDotsAlone) {
    for (const char* path : {"", "backup", "backup/", "backup/2024/", "backup/.../.hidden"}) {
        EXPECT_TRUE(HasOnlyNamedComponents(path)) << path;
    }
    for (const char* path : {"/", "/backup", "backup//", "backup//2024", "backup/./x",
                             "backup/../x", "backup/..", "backup/../", "./x", ".."}) {
        EXPECT_FALSE(HasOnlyNamedComponents(path)) << path;
    }
}

}  // namespace
