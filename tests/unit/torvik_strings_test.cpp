// The host library's string conversions and opened-file table, as the plug-ins rely on them.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "torvik/OpenedFile.h"
#include "torvik/Strings.h"

namespace {

using Torvik::strings::UTF8toWstr;
using Torvik::strings::WstrToUTF8;

const std::wstring kReplacement(1, static_cast<wchar_t>(0xFFFD));

std::wstring Replacements(std::size_t count) {
    return std::wstring(count, static_cast<wchar_t>(0xFFFD));
}

// Independent reference encoding of one scalar value.
std::string Encoded(std::uint32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 + c / 64);
        out += static_cast<char>(0x80 + c % 64);
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 + c / 4096);
        out += static_cast<char>(0x80 + c / 64 % 64);
        out += static_cast<char>(0x80 + c % 64);
    } else {
        out += static_cast<char>(0xF0 + c / 262144);
        out += static_cast<char>(0x80 + c / 4096 % 64);
        out += static_cast<char>(0x80 + c / 64 % 64);
        out += static_cast<char>(0x80 + c % 64);
    }
    return out;
}

bool IsScalar(std::uint32_t c) { return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF); }

TEST(Strings, EveryScalarValueRoundTripsPlaneByPlane) {
    for (std::uint32_t plane = 0; plane <= 0x10; ++plane) {
        std::wstring wide;
        std::string reference;
        for (std::uint32_t c = plane << 16; c < ((plane + 1) << 16); ++c) {
            if (!IsScalar(c)) continue;
            wide.push_back(static_cast<wchar_t>(c));
            reference += Encoded(c);
        }
        const std::string utf8 = WstrToUTF8(wide);
        EXPECT_EQ(utf8, reference) << "plane " << plane;
        EXPECT_EQ(UTF8toWstr(utf8), wide) << "plane " << plane;
    }
}

TEST(Strings, EachValueAloneAtSequenceBoundaries) {
    // Values at the edges of each encoded length, one at a time, so that no neighbour can
    // mask an off-by-one.
    for (std::uint32_t c : {0x0u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u, 0xFFFDu, 0xFFFFu,
                            0x10000u, 0x10FFFFu}) {
        const std::wstring wide(1, static_cast<wchar_t>(c));
        EXPECT_EQ(WstrToUTF8(wide), Encoded(c)) << std::hex << c;
        EXPECT_EQ(UTF8toWstr(Encoded(c)), wide) << std::hex << c;
    }
    EXPECT_EQ(WstrToUTF8(L""), "");
    EXPECT_EQ(UTF8toWstr(""), L"");
    // An embedded NUL is text like any other.
    EXPECT_EQ(UTF8toWstr(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(Strings, WideValuesThatAreNotScalarsBecomeReplacements) {
    for (std::uint32_t bad :
         {0xD800u, 0xDBFFu, 0xDC00u, 0xDFFFu, 0x110000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        std::wstring wide = L"a";
        wide.push_back(static_cast<wchar_t>(bad));
        wide += L"b";
        EXPECT_EQ(WstrToUTF8(wide),
                  "a\xEF\xBF\xBD"
                  "b")
            << std::hex << bad;
    }
    // A surrogate pair in UTF-32 is two invalid values, not one character.
    const std::wstring pair = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(WstrToUTF8(pair), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

struct BadInput {
    const char* name;
    std::string bytes;
    std::wstring expected;
};

TEST(Strings, InvalidUtf8BecomesOneReplacementPerMaximalSubpart) {
    const std::vector<BadInput> cases = {
        {"lone continuation", "a\x80z", L"a" + kReplacement + L"z"},
        {"continuations", "\x80\xBF\x80", Replacements(3)},
        {"overlong slash, two bytes", "\xC0\xAF", Replacements(2)},
        {"overlong C1", "\xC1\xBF", Replacements(2)},
        {"overlong three bytes", "\xE0\x80\xAF", Replacements(3)},
        {"overlong four bytes", "\xF0\x8F\xBF\xBF", Replacements(4)},
        {"encoded high surrogate", "\xED\xA0\x80", Replacements(3)},
        {"encoded low surrogate", "\xED\xBF\xBF", Replacements(3)},
        {"above U+10FFFF", "\xF4\x90\x80\x80", Replacements(4)},
        {"F5", "\xF5\x80\x80\x80", Replacements(4)},
        {"FF", "x\xFFy", L"x" + kReplacement + L"y"},
        {"FE FF", "\xFE\xFF", Replacements(2)},
        {"truncated two", "\xC3", kReplacement},
        {"truncated three", "\xE2\x82", kReplacement},
        {"truncated four", "\xF0\x9F\x98", kReplacement},
        {"truncated then ASCII",
         "\xF0\x9F"
         "A",
         kReplacement + L"A"},
        {"truncated then new start", "\xE2\x82\xE2\x82\xAC", kReplacement + L"\u20AC"},
        {"start byte among continuations", "\xC3\xC3\xA9", kReplacement + L"\u00e9"},
    };
    for (const BadInput& input : cases) {
        EXPECT_EQ(UTF8toWstr(input.bytes), input.expected) << input.name;
    }
}

TEST(Strings, DecodingStopsAtTheEndOfTheString) {
    // The bytes after the string's end would complete the sequence; they must not be read.
    const char buffer[] = "\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(UTF8toWstr(std::string(buffer, 2)), kReplacement);
    EXPECT_EQ(UTF8toWstr(std::string(buffer + 3, 3)), kReplacement);
    EXPECT_EQ(UTF8toWstr(std::string(buffer, 4)), L"\u20AC" + kReplacement);
    // Exactly sized heap copies, so that a sanitizer build sees any overread.
    for (std::size_t length = 1; length <= 7; ++length) {
        std::unique_ptr<char[]> exact(new char[length]);
        std::copy(buffer, buffer + length, exact.get());
        const std::wstring decoded = UTF8toWstr(std::string(exact.get(), length));
        EXPECT_FALSE(decoded.empty());
    }
}

class LocaleIndependence : public testing::TestWithParam<const char*> {
  protected:
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_P(LocaleIndependence, SameResultsWhateverTheProcessLocale) {
    if (std::setlocale(LC_ALL, GetParam()) == nullptr) {
        GTEST_SKIP() << "locale " << GetParam() << " is not installed";
    }
    const std::wstring wide = L"Gr\u00fc\u00dfe/\u4e2d\u6587/\U0001F600.txt";
    const std::string utf8 =
        "Gr\xC3\xBC\xC3\x9F"
        "e/\xE4\xB8\xAD\xE6\x96\x87/\xF0\x9F\x98\x80.txt";
    EXPECT_EQ(WstrToUTF8(wide), utf8);
    EXPECT_EQ(UTF8toWstr(utf8), wide);
    EXPECT_EQ(UTF8toWstr("\xFF"), kReplacement);
}

INSTANTIATE_TEST_SUITE_P(Locales, LocaleIndependence,
                         testing::Values("C", "POSIX", "C.UTF-8", "en_US.UTF-8"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name;
                             for (const char* p = info.param; *p; ++p) {
                                 if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                             }
                             return name;
                         });

class CountedFile final : public OpenedFile {
  public:
    CountedFile(FileAccessMode::ID mode, int* alive) : OpenedFile(mode), alive_(alive) {
        ++*alive_;
    }
    ~CountedFile() override { --*alive_; }

  private:
    int* alive_;
};

TEST(AllOpenedFiles, AddGivesUniqueNonZeroHandlesAndOwnsTheFiles) {
    int alive = 0;
    {
        AllOpenedFiles table;
        std::set<unsigned int> handles;
        for (int i = 0; i < 100; ++i) {
            const auto mode = i % 2 ? FileAccessMode::Write : FileAccessMode::Read;
            const unsigned int handle = table.add(new CountedFile(mode, &alive));
            EXPECT_NE(handle, 0u);
            EXPECT_TRUE(handles.insert(handle).second) << handle;
            ASSERT_EQ(table.files.count(handle), 1u);
            EXPECT_EQ(table.files.at(handle)->GetMode(), mode);
        }
        EXPECT_EQ(alive, 100);

        // Erasing an entry frees its file, unless someone still holds it.
        const unsigned int first = *handles.begin();
        table.files.erase(first);
        EXPECT_EQ(alive, 99);
        const unsigned int second = *std::next(handles.begin());
        std::shared_ptr<OpenedFile> held = table.files.at(second);
        table.files.erase(second);
        EXPECT_EQ(alive, 99);
        held.reset();
        EXPECT_EQ(alive, 98);

        // New handles never collide with live ones.
        for (int i = 0; i < 10; ++i) {
            const unsigned int handle = table.add(new CountedFile(FileAccessMode::Write, &alive));
            EXPECT_NE(handle, 0u);
            EXPECT_EQ(table.files.size(), 99u + static_cast<unsigned>(i));
            EXPECT_EQ(table.files.at(handle)->GetMode(), FileAccessMode::Write);
        }
        EXPECT_EQ(alive, 108);
    }
    // The table's destruction releases everything it still held.
    EXPECT_EQ(alive, 0);
}

TEST(AllOpenedFiles, DerivedFilesAreDestroyedThroughTheBase) {
    int alive = 0;
    std::unique_ptr<OpenedFile> file(new CountedFile(FileAccessMode::Read, &alive));
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(file->GetMode(), FileAccessMode::Read);
    file.reset();
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(static_cast<int>(FileAccessMode::Read), 0);
    EXPECT_EQ(static_cast<int>(FileAccessMode::Write), 1);
}

}  // namespace
