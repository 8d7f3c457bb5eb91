// What a host can get wrong at the interface: odd paths, characters that are no text, names
// longer than any service takes, handles that are stale or not the instance's own, lengths of
// nothing and of everything, and parameters that name no reachable service. Every case must
// end in a clear result: the data stored and read back exactly, or a failure that leaves
// nothing behind; never a crash, a hang or a leak.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <fstream>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "providers/ProviderFacts.h"
#include "testhost/Testhost.h"
#include "torvik/Strings.h"

namespace {

using testhost::FaultProxy;
using testhost::MotoServer;
using testhost::S3Admin;
using testhost::ScopedEnv;

constexpr std::size_t kMiB = 1024 * 1024;

std::wstring Wide(const std::string& text) { return Torvik::strings::UTF8toWstr(text); }
std::string Narrow(const std::wstring& text) { return Torvik::strings::WstrToUTF8(text); }

// A short printable form of a path for failure messages: long paths by their length.
std::string Shown(const std::wstring& path) {
    if (path.size() > 80) return "<" + std::to_string(path.size()) + " characters>";
    std::string shown;
    for (const wchar_t c : path) {
        if (c >= 0x20 && c < 0x7F) {
            shown.push_back(static_cast<char>(c));
        } else {
            shown += "\\u{" + std::to_string(static_cast<unsigned long>(c)) + "}";
        }
    }
    return shown;
}

// One deliverable as a host sets it up, with this test's keys.
class Storage : public testhost::HostedStorage {
  public:
    Storage(const std::string& deliverable, const std::string& url)
        : HostedStorage(deliverable, url, "AKIDHOSTINPUT", "hostinput-secret") {}
};

// Runs `work` and fails the test when it takes longer than `limit`: a call that the service
// cannot answer must come back within the client's timeouts, not hang.
template <class Work>
void WithinSeconds(int limit, const std::string& what, Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
            .count();
    EXPECT_LE(seconds, limit) << what;
}

class HostInput : public testing::Test {
  protected:
    static void SetUpTestSuite() { proxy = new FaultProxy(MotoServer::Shared().Url()); }
    static void TearDownTestSuite() {
        delete proxy;
        proxy = nullptr;
    }
    HostInput() : admin(MotoServer::Shared().Url()), bucket(admin.UniqueBucketName("hostinput")) {
        admin.CreateBucket(bucket);
        proxy->ClearRules();
        proxy->ClearRequests();
    }

    std::wstring InBucket(const std::string& rest) const { return Wide(bucket) + Wide(rest); }

    // The key the host path names, by the shared mapping: separators made '/', the first
    // component the bucket.
    static std::string KeyOf(const std::wstring& path) {
        std::string storage = Narrow(path);
        for (char& c : storage) {
            if (c == '\\') c = '/';
        }
        const std::size_t slash = storage.find('/');
        return slash == std::string::npos ? "" : storage.substr(slash + 1);
    }

    // Either the write succeeded and the same path reads back exactly what was written, and
    // the service holds it under the key the path names; or the write failed and left no
    // object and no upload behind. Returns the result of the write.
    ResultCode ExpectStoredExactlyOrNothing(Storage& storage, const std::wstring& path,
                                            const std::string& data) {
        const ResultCode written = storage.Write(path, data);
        const std::string key = KeyOf(path);
        if (written == Success) {
            EXPECT_EQ(storage.Read(path), std::optional<std::string>(data))
                << storage.name << " " << Shown(path);
            EXPECT_EQ(admin.GetObject(bucket, key), std::optional<std::string>(data))
                << storage.name << " " << Shown(path);
        } else {
            // The host knows the file is not safely stored and backs it up again; whatever
            // the service holds under the key is never a mangled copy.
            EXPECT_EQ(written, Failure) << storage.name << " " << Shown(path);
            if (!key.empty() && key.size() < 1024) {
                const auto stored = admin.GetObject(bucket, key);
                if (stored.has_value()) {
                    EXPECT_EQ(*stored, data) << Shown(path);
                }
            }
        }
        EXPECT_TRUE(admin.ListMultipartUploads(bucket).empty());
        return written;
    }

    static FaultProxy* proxy;
    ScopedEnv retryMode{"AWS_RETRY_MODE", "standard"};
    ScopedEnv attempts{"AWS_MAX_ATTEMPTS", "1"};
    ScopedEnv configFile{"AWS_CONFIG_FILE", "/dev/null"};
    S3Admin admin;
    std::string bucket;
};
FaultProxy* HostInput::proxy = nullptr;

class PathForms : public HostInput, public testing::WithParamInterface<const char*> {};

// ---- Paths ----

TEST_P(PathForms, EverySeparatorMixStoresUnderTheKeyItNamesAndReadsBack) {
    Storage storage(GetParam(), proxy->Url());
    storage.Open();
    // Each path names its own key, so that no write hides another's mistake.
    const std::vector<std::string> forms = {"\\mixed/sub\\a.bak",
                                            "/slashes/sub/b.bak",
                                            "\\back\\sub\\c.bak",
                                            "/mix2\\sub/d.bak",
                                            "\\\\doubled\\\\e.bak",
                                            "//doubled2//f.bak",
                                            "\\empty\\\\\\g.bak",
                                            "/lead/\\/h.bak",
                                            "\\dot\\.\\i.bak",
                                            "\\dots\\..\\j.bak",
                                            "\\..\\k.bak",
                                            "\\.\\l.bak",
                                            "/deep/./../m.bak",
                                            "\\n..bak",
                                            "\\gr\xc3\xbc\xc3\x9f\\\xe6\x97\xa5.bak",
                                            "\\x\\...\\o.bak",
                                            "\\space \\ p.bak",
                                            "\\percent%2F\\q%00.bak",
                                            "\\plus+and&\\r?.bak",
                                            "\\hash#\\s;t=u.bak"};
    // The hot tier does not read a listed folder again to place a file in a folder it has
    // not seen, so there a write into a new folder without creating it first may fail; the
    // outcome is then checked to be whole or absent, not to be a success.
    const bool full = std::string(GetParam()) == "Mardel";
    for (std::size_t i = 0; i < forms.size(); ++i) {
        const std::wstring path = InBucket(forms[i]);
        const ResultCode written =
            ExpectStoredExactlyOrNothing(storage, path, "content " + std::to_string(i));
        // Empty components name keys no listing could show under a name that opens them
        // again, and "." or ".." ones keys other than a host resolving the path means: such
        // a write is refused.
        bool named = true;
        std::istringstream components(KeyOf(path));
        for (std::string c; std::getline(components, c, '/');) {
            named = named && !c.empty() && c != "." && c != "..";
        }
        if (!named) {
            EXPECT_EQ(written, Failure) << Shown(path);
        } else if (full) {
            EXPECT_EQ(written, Success)
                << Shown(path) << " " << testing::PrintToString(storage.log.Texts());
        }
    }
    if (!full) return;
    // Two spellings of one key are one file: the second write replaces the first.
    ASSERT_EQ(storage.Write(InBucket("\\same\\z.bak"), "first"), Success);
    ASSERT_EQ(storage.Write(InBucket("/same/z.bak"), "second"), Success);
    EXPECT_EQ(storage.Read(InBucket("/same\\z.bak")), std::optional<std::string>("second"));
    EXPECT_EQ(admin.GetObject(bucket, "same/z.bak"), std::optional<std::string>("second"));
}

TEST_P(PathForms, APathEndingInASeparatorNamesAFolderAndIsNoFileToWrite) {
    Storage storage(GetParam(), proxy->Url());
    storage.Open();
    for (const char* form : {"\\folder\\a.bak\\", "/folder/b.bak/", "\\folder\\\\"}) {
        const std::wstring path = InBucket(form);
        unsigned int handle = 77;
        EXPECT_EQ(storage->OpenFile(path, FileAccessMode::Write, handle), Failure) << form;
        EXPECT_EQ(handle, 77u);
    }
    // A folder's marker is never overwritten with file data, so the folder stays a folder.
    ASSERT_EQ(storage->CreateFolder(InBucket("\\kept")), Success);
    unsigned int handle = 77;
    EXPECT_EQ(storage->OpenFile(InBucket("\\kept\\"), FileAccessMode::Write, handle), Failure);
    EXPECT_EQ(admin.GetObject(bucket, "kept/"), std::optional<std::string>(""));
    EXPECT_TRUE(admin.ListKeys(bucket, "folder").empty());
}

TEST_P(PathForms, BrowsingOddPathsAnswersWithoutCrashing) {
    admin.PutObject(bucket, "dir/file.bak", "12345");
    Storage storage(GetParam(), proxy->Url());
    storage.Open();
    for (const char* form : {"\\", "/", "\\\\", "\\.", "\\..", "\\dir\\.", "\\dir\\..", "\\dir\\\\",
                             "//dir", "\\dir/", "\\nothing\\here"}) {
        const std::wstring path = InBucket(form);
        std::list<CFileInfo> entries;
        const ResultCode listed = storage->GetListing(path, entries);
        EXPECT_TRUE(listed == Success || listed == Failure || listed == NotFound)
            << form << " " << listed;
        CFileAttributes attributes;
        const ResultCode found = storage->GetElementAttributes(path, attributes);
        EXPECT_TRUE(found == Success || found == Failure || found == NotFound)
            << form << " " << found;
    }
    // The separators a host may use lead to the same folder.
    std::list<CFileInfo> slash;
    std::list<CFileInfo> backslash;
    ASSERT_EQ(storage->GetListing(InBucket("/dir"), slash), Success);
    ASSERT_EQ(storage->GetListing(InBucket("\\dir"), backslash), Success);
    ASSERT_EQ(slash.size(), 1u);
    ASSERT_EQ(backslash.size(), 1u);
    EXPECT_EQ(slash.front().name, L"file.bak");
    EXPECT_EQ(backslash.front().name, L"file.bak");
    // Paths that begin with a separator name no bucket.
    for (const std::wstring& path : {L"\\" + Wide(bucket), L"/" + Wide(bucket) + L"/dir"}) {
        std::list<CFileInfo> entries;
        EXPECT_NE(storage->GetListing(path, entries), Success) << Shown(path);
        EXPECT_TRUE(entries.empty());
        CFileAttributes attributes;
        EXPECT_NE(storage->GetElementAttributes(path, attributes), Success) << Shown(path);
    }
}

// Characters that are no Unicode text cannot be spelt in UTF-8: stored as a replacement, two
// different names would land on one key and one file would silently replace the other.
TEST_P(PathForms, CharactersThatAreNoTextAreRefusedWithoutARequest) {
    Storage storage(GetParam(), proxy->Url());
    storage.Open();
    proxy->ClearRequests();
    const std::vector<std::wstring> names = {
        std::wstring(L"lone") + wchar_t(0xD800) + L".bak",
        std::wstring(L"lone") + wchar_t(0xDFFF) + L".bak",
        std::wstring(L"high") + wchar_t(0x110000) + L".bak",
        std::wstring(L"top") + static_cast<wchar_t>(0x7FFFFFFF) + L".bak",
        std::wstring(L"neg") + static_cast<wchar_t>(-1) + L".bak",
        std::wstring(L"nul") + wchar_t(0) + L"tail.bak",
    };
    for (const std::wstring& name : names) {
        const std::wstring path = Wide(bucket) + L"\\" + name;
        const std::wstring folder = Wide(bucket) + L"\\" + name + L"\\";
        unsigned int handle = 77;
        EXPECT_EQ(storage->OpenFile(path, FileAccessMode::Write, handle), Failure) << Shown(name);
        EXPECT_EQ(storage->OpenFile(path, FileAccessMode::Read, handle), Failure) << Shown(name);
        EXPECT_EQ(handle, 77u);
        EXPECT_EQ(storage->CreateFolder(folder), Failure) << Shown(name);
        EXPECT_EQ(storage->DeleteFile(path), Failure) << Shown(name);
        EXPECT_EQ(storage->DeleteFolder(path), Failure) << Shown(name);
        std::list<CFileInfo> entries;
        EXPECT_EQ(storage->GetListing(path, entries), Failure) << Shown(name);
        CFileAttributes attributes;
        EXPECT_EQ(storage->GetElementAttributes(path, attributes), Failure) << Shown(name);
    }
    // In the bucket component as well.
    std::list<CFileInfo> entries;
    EXPECT_EQ(storage->GetListing(std::wstring(1, wchar_t(0xD800)) + L"\\x", entries), Failure);
    EXPECT_TRUE(proxy->Requests().empty());
    EXPECT_TRUE(admin.ListKeys(bucket).empty());

    // Valid characters beyond the Basic Multilingual Plane and the replacement character
    // itself are text and round-trip.
    const std::wstring astral =
        Wide(bucket) + L"\\" + wchar_t(0x1F600) + wchar_t(0xFFFD) + wchar_t(0x10FFFF) + L".bak";
    EXPECT_EQ(ExpectStoredExactlyOrNothing(storage, astral, "astral"), Success);
}

TEST_P(PathForms, NamesBeyondTheServicesKeyLimitFailCleanly) {
    Storage storage(GetParam(), proxy->Url());
    storage.Open();
    // 1024 bytes is the longest key the service takes; one more and far more.
    const std::string longest(1024, 'k');
    EXPECT_EQ(ExpectStoredExactlyOrNothing(storage, InBucket("\\" + longest), "at the limit"),
              Success);
    for (const std::size_t length : {std::size_t(1025), std::size_t(4096), kMiB}) {
        const std::wstring path = InBucket("\\" + std::string(length, 'n'));
        WithinSeconds(30, std::to_string(length), [&] {
            ExpectStoredExactlyOrNothing(storage, path, "too long");
            // The local server takes keys past the limit; a real service refuses them. Either
            // way every operation gives one of its results.
            const ResultCode created = storage->CreateFolder(path);
            EXPECT_TRUE(created == Success || created == Failure);
            const ResultCode deleted = storage->DeleteFile(path);
            EXPECT_TRUE(deleted == Success || deleted == Failure);
            std::list<CFileInfo> entries;
            const ResultCode listed = storage->GetListing(path, entries);
            EXPECT_TRUE(listed == Success || listed == Failure || listed == NotFound);
            CFileAttributes attributes;
            const ResultCode found = storage->GetElementAttributes(path, attributes);
            EXPECT_TRUE(found == Success || found == Failure || found == NotFound);
        });
    }
    // Many short components, and a bucket name far too long for any bucket.
    std::string deep;
    for (int level = 0; level < 300; ++level) deep += "\\d";
    WithinSeconds(30, "deep", [&] {
        std::list<CFileInfo> entries;
        EXPECT_NE(storage->GetListing(InBucket(deep), entries), Success);
        ExpectStoredExactlyOrNothing(storage, InBucket(deep + "\\f.bak"), "deep");
        EXPECT_EQ(storage.Write(Wide(std::string(kMiB, 'b') + "\\f.bak"), "x"), Failure);
    });
    // The instance still works.
    EXPECT_EQ(storage.Write(InBucket("\\after.bak"), "after"), Success);
    EXPECT_EQ(admin.GetObject(bucket, "after.bak"), std::optional<std::string>("after"));
}

INSTANTIATE_TEST_SUITE_P(Deliverables, PathForms, testing::Values("Mardel", "Ruvast"));

// ---- Handles and lengths ----

// A mapping of `length` bytes that reserves no memory: a host's large buffer that the plug-in
// may write into only as far as it has data.
class LargeBuffer {
  public:
    explicit LargeBuffer(std::size_t length) : length(length) {
        address = mmap(nullptr, length, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (address == MAP_FAILED) throw std::runtime_error("no address space for the buffer");
    }
    ~LargeBuffer() { munmap(address, length); }
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;
    unsigned char* Data() const { return static_cast<unsigned char*>(address); }

  private:
    std::size_t length;
    void* address;
};

// Each deliverable, the loopback build of the fixed-endpoint one through a proxy on its port.
class EachDeliverable : public HostInput, public testing::WithParamInterface<const char*> {
  protected:
    FaultProxy& ProxyFor(const std::string& deliverable) {
        if (deliverable != "PennatLoopback") return *proxy;
        for (int attempt = 0; fixedProxy == nullptr; ++attempt) {
            try {
                fixedProxy = std::make_unique<FaultProxy>(MotoServer::Shared().Url(),
                                                          testhost::FixedEndpointPort());
            } catch (const std::runtime_error&) {
                if (attempt == 300) throw;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        return *fixedProxy;
    }
    std::unique_ptr<FaultProxy> fixedProxy;
};

class Handles : public EachDeliverable {};
class Answers : public EachDeliverable {};

TEST_P(Handles, StaleForeignAndClosedHandlesFailAndChangeNothing) {
    admin.PutObject(bucket, "in.bak", "0123456789");
    FaultProxy& server = ProxyFor(GetParam());
    Storage first(GetParam(), server.Url());
    first.Open();
    Storage second(GetParam(), server.Url());
    second.Open();

    unsigned int writing = 0;
    unsigned int reading = 0;
    ASSERT_EQ(first->OpenFile(InBucket("\\out.bak"), FileAccessMode::Write, writing), Success);
    ASSERT_EQ(first->OpenFile(InBucket("\\in.bak"), FileAccessMode::Read, reading), Success);
    unsigned char bytes[16] = {'a', 'b', 'c'};
    unsigned int length = 3;
    ASSERT_EQ(first->WriteFile(bytes, length, writing), Success);

    // The other instance knows neither handle, nor the extremes of the handle range.
    for (const unsigned int handle : {writing, reading, 0u, UINT_MAX}) {
        length = 3;
        EXPECT_EQ(second->WriteFile(bytes, length, handle), Failure) << handle;
        length = sizeof bytes;
        EXPECT_EQ(second->ReadFile(bytes, length, handle), Failure) << handle;
        EXPECT_EQ(length, sizeof bytes);
        EXPECT_EQ(second->CloseFile(handle), Failure) << handle;
    }
    length = 3;
    EXPECT_EQ(first->WriteFile(bytes, length, 0u), Failure);
    EXPECT_EQ(first->CloseFile(UINT_MAX), Failure);

    // Closing twice: the second close fails and sends nothing.
    ASSERT_EQ(first->CloseFile(writing), Success);
    EXPECT_EQ(admin.GetObject(bucket, "out.bak"), std::optional<std::string>("abc"));
    server.ClearRequests();
    EXPECT_EQ(first->CloseFile(writing), Failure);
    length = 3;
    EXPECT_EQ(first->WriteFile(bytes, length, writing), Failure);
    length = sizeof bytes;
    EXPECT_EQ(first->ReadFile(bytes, length, writing), Failure);
    EXPECT_EQ(first->CloseFile(reading), Success);
    length = sizeof bytes;
    EXPECT_EQ(first->ReadFile(bytes, length, reading), Failure);
    EXPECT_EQ(length, sizeof bytes);
    EXPECT_EQ(first->CloseFile(reading), Failure);
    EXPECT_TRUE(server.Requests().empty());

    // Handles of closed files are not handed out again at once, so a stale handle cannot
    // reach a file opened later.
    unsigned int later = 0;
    ASSERT_EQ(first->OpenFile(InBucket("\\later.bak"), FileAccessMode::Write, later), Success);
    EXPECT_NE(later, writing);
    EXPECT_NE(later, reading);
    length = 3;
    EXPECT_EQ(first->WriteFile(bytes, length, writing), Failure);
    EXPECT_EQ(first->CloseFile(later), Success);
    EXPECT_EQ(admin.GetObject(bucket, "later.bak"), std::optional<std::string>(""));
    EXPECT_EQ(admin.GetObject(bucket, "out.bak"), std::optional<std::string>("abc"));
    // The stale handles changed nothing in the other instance either.
    EXPECT_TRUE(second.log.Lines().empty());
}

TEST_P(Handles, LengthsOfNothingAndOfEverything) {
    admin.PutObject(bucket, "ten.bak", "0123456789");
    admin.PutObject(bucket, "empty.bak", "");
    FaultProxy& server = ProxyFor(GetParam());
    Storage storage(GetParam(), server.Url());
    storage.Open();

    // Writes of nothing, even without a buffer, add nothing and send nothing.
    unsigned int handle = 0;
    ASSERT_EQ(storage->OpenFile(InBucket("\\zero.bak"), FileAccessMode::Write, handle), Success);
    server.ClearRequests();
    unsigned int length = 0;
    EXPECT_EQ(storage->WriteFile(nullptr, length, handle), Success);
    EXPECT_EQ(length, 0u);
    const unsigned char byte = 'z';
    EXPECT_EQ(storage->WriteFile(&byte, length, handle), Success);
    EXPECT_TRUE(server.Requests().empty());
    length = 1;
    EXPECT_EQ(storage->WriteFile(&byte, length, handle), Success);
    length = 0;
    EXPECT_EQ(storage->WriteFile(nullptr, length, handle), Success);
    EXPECT_EQ(storage->CloseFile(handle), Success);
    EXPECT_EQ(admin.GetObject(bucket, "zero.bak"), std::optional<std::string>("z"));

    // A read of nothing delivers nothing and does not end the file: the data is all there
    // for the reads that follow.
    ASSERT_EQ(storage->OpenFile(InBucket("\\ten.bak"), FileAccessMode::Read, handle), Success);
    length = 0;
    EXPECT_EQ(storage->ReadFile(nullptr, length, handle), Success);
    EXPECT_EQ(length, 0u);
    // Seeking does nothing, wherever to.
    EXPECT_EQ(storage->SeekFile(handle, 1ul << 63), Success);
    EXPECT_EQ(storage->SeekFile(handle, ~0ul), Success);
    unsigned char small[4];
    length = sizeof small;
    ASSERT_EQ(storage->ReadFile(small, length, handle), Success);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(small), length), "0123");
    length = 0;
    EXPECT_EQ(storage->ReadFile(small, length, handle), Success);
    EXPECT_EQ(length, 0u);

    // A buffer as large as the length can say: only the file's bytes are written into it.
    const std::size_t largest = UINT_MAX;
    LargeBuffer large(largest);
    length = UINT_MAX;
    ASSERT_EQ(storage->ReadFile(large.Data(), length, handle), Success);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(large.Data()), length), "456789");
    length = 1u << 31;
    EXPECT_EQ(storage->ReadFile(large.Data(), length, handle), EndOfData);
    EXPECT_EQ(length, 0u);
    // Once every byte is delivered, a read of nothing tells the end too: a host that asks for
    // what it believes is left must see it.
    length = 0;
    EXPECT_EQ(storage->ReadFile(nullptr, length, handle), EndOfData);
    EXPECT_EQ(storage->SeekFile(handle, 1ul << 63), Success);
    length = 1u << 31;
    EXPECT_EQ(storage->ReadFile(large.Data(), length, handle), EndOfData);
    EXPECT_EQ(storage->CloseFile(handle), Success);

    // A whole file read at once into the large buffer; a host that asks for exactly what is
    // left, and then for nothing, is told the end.
    ASSERT_EQ(storage->OpenFile(InBucket("\\ten.bak"), FileAccessMode::Read, handle), Success);
    length = 1u << 31;
    ASSERT_EQ(storage->ReadFile(large.Data(), length, handle), Success);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(large.Data()), length), "0123456789");
    length = 0;
    EXPECT_EQ(storage->ReadFile(large.Data(), length, handle), EndOfData);
    EXPECT_EQ(storage->CloseFile(handle), Success);
    // An empty file ends at once.
    ASSERT_EQ(storage->OpenFile(InBucket("\\empty.bak"), FileAccessMode::Read, handle), Success);
    length = 0;
    EXPECT_EQ(storage->ReadFile(nullptr, length, handle), EndOfData);
    EXPECT_EQ(storage->CloseFile(handle), Success);
}

INSTANTIATE_TEST_SUITE_P(Deliverables, Handles,
                         testing::Values("Mardel", "Ruvast", "Golmer", "Tresko", "PennatLoopback"));

// ---- What the service holds, told truly ----

// Every name a listing shows opens what it was listed from, byte for byte: keys with a carriage
// return or with text that reads as a character reference, a file beside a folder of the same
// name; keys with empty components, which no name could open again, are not shown at all.
TEST_P(Answers, EveryListedNameOpensTheObjectItWasListedFrom) {
    const std::map<std::string, std::string> files = {
        {"cr\rname.bak", "carriage return"},        {"lf&#xA;ref.bak", "line feed reference"},
        {"&#xD;.bak", "carriage return reference"}, {"amp&amp;.bak", "ampersand text"},
        {"pct%41+plus .bak", "percent and plus"},   {"lt<gt>\"q'.bak", "markup"},
        {"twin", "the file beside the folder"},
    };
    for (const auto& [name, content] : files) admin.PutObject(bucket, "keys/" + name, content);
    admin.PutObject(bucket, "keys/twin/inner.bak", "inner");
    admin.PutObject(bucket, "keys/onlyfolder/z.bak", "z");
    admin.PutObject(bucket, "keys/empty//hidden.bak", "hidden");
    admin.PutObject(bucket, "keys//lead.bak", "lead");

    FaultProxy& server = ProxyFor(GetParam());
    Storage storage(GetParam(), server.Url());
    storage.Open();
    std::list<CFileInfo> entries;
    ASSERT_EQ(storage->GetListing(InBucket("\\keys"), entries), Success);
    std::map<std::string, std::string> listedFiles;
    std::vector<std::string> folders;
    for (const CFileInfo& entry : entries) {
        const std::string name = Narrow(entry.name);
        EXPECT_FALSE(name.empty());
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        const std::wstring path = InBucket("\\keys\\") + entry.name;
        if (entry.IsDirectory()) {
            folders.push_back(name);
            std::list<CFileInfo> inside;
            EXPECT_EQ(storage->GetListing(path, inside), Success) << name;
        } else {
            listedFiles[name] = storage.Read(path).value_or("(not readable)");
        }
    }
    EXPECT_EQ(listedFiles, files);
    EXPECT_EQ(folders, (std::vector<std::string>{"empty", "onlyfolder", "twin"}));
    // A name that is only a folder is no file to read.
    unsigned int handle = 77;
    EXPECT_EQ(storage->OpenFile(InBucket("\\keys\\onlyfolder"), FileAccessMode::Read, handle),
              Failure);
    EXPECT_EQ(handle, 77u);
    std::list<CFileInfo> emptyFolder;
    ASSERT_EQ(storage->GetListing(InBucket("\\keys\\empty"), emptyFolder), Success);
    EXPECT_TRUE(emptyFolder.empty());

    // Paths with empty components are refused at open, before any request, both ways.
    server.ClearRequests();
    for (const char* form : {"\\keys\\empty\\\\hidden.bak", "\\keys/\\lead.bak", "\\\\x.bak"}) {
        EXPECT_EQ(storage->OpenFile(InBucket(form), FileAccessMode::Read, handle), Failure) << form;
        EXPECT_EQ(storage->OpenFile(InBucket(form), FileAccessMode::Write, handle), Failure)
            << form;
    }
    EXPECT_TRUE(server.Requests().empty());

    // The same keys come back exactly from the listing that deletes a folder.
    ASSERT_EQ(storage->DeleteFolder(InBucket("\\keys")), Success);
    EXPECT_TRUE(admin.ListKeys(bucket, "keys/").empty());
}

// Keys another client stored with "." or ".." components or a '\' in a name are not listed
// under names a host would read as a way out of the folder (it is told how many it does not
// see), and no path with an empty, "." or ".." component reaches the service. The objects
// stay, and deleting their folder deletes them with the rest.
TEST_P(Answers, NoListedNameAndNoPathLeadsOutOfItsFolder) {
    const std::set<std::string> keys = {
        "set/ok.txt",   "set/./dot.txt", "set/../up.txt", "set/..\\..\\evil.txt",
        "set/a\\b.txt", "set/.hidden",   "set/...",       "set/\xe6\x97\xa5 .txt"};
    for (const std::string& key : keys) admin.PutObject(bucket, key, key);
    const auto stored = admin.ListKeys(bucket, "set/");
    ASSERT_EQ(std::set<std::string>(stored.begin(), stored.end()), keys);

    FaultProxy& server = ProxyFor(GetParam());
    Storage storage(GetParam(), server.Url());
    storage.Open();
    // A single trailing separator still names the folder; the second listing is the cache's.
    std::list<CFileInfo> entries;
    std::list<CFileInfo> again;
    ASSERT_EQ(storage->GetListing(InBucket("\\set\\"), entries), Success);
    ASSERT_EQ(storage->GetListing(InBucket("\\set"), again), Success);
    std::vector<std::string> names;
    for (const CFileInfo& entry : entries) {
        names.push_back(Narrow(entry.name));
        EXPECT_EQ(storage.Read(InBucket("\\set\\") + entry.name), "set/" + names.back());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"...", ".hidden", "ok.txt", "\xe6\x97\xa5 .txt"}));
    EXPECT_EQ(again.size(), entries.size());
    // One line for the folder, however often it is listed (libTresko notes its region too).
    const std::vector<std::string> lines = storage.log.Texts();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.find("entries not shown") != std::string::npos;
                            }),
              1)
        << testing::PrintToString(lines);
    EXPECT_TRUE(storage.log.Contains(bucket + "/set/: 4 entries not shown"));

    // Refused in every operation, each with one log line and without a request.
    const std::vector<std::wstring> refused = {
        InBucket("\\set\\..\\up.txt"), InBucket("/set/./dot.txt"),  InBucket("\\set\\.."),
        InBucket("\\set\\.\\"),        InBucket("\\set\\\\ok.txt"), InBucket("\\set\\ok.txt\\\\"),
        L"..\\" + InBucket("\\set"),   L".\\" + InBucket(""),       L"\\" + InBucket("\\set")};
    server.ClearRequests();
    storage.log.Clear();
    for (const std::wstring& path : refused) {
        unsigned int handle = 77;
        EXPECT_EQ(storage->OpenFile(path, FileAccessMode::Read, handle), Failure) << Shown(path);
        EXPECT_EQ(storage->OpenFile(path, FileAccessMode::Write, handle), Failure) << Shown(path);
        EXPECT_EQ(handle, 77u);
        CFileAttributes attributes;
        EXPECT_EQ(storage->GetElementAttributes(path, attributes), Failure) << Shown(path);
        std::list<CFileInfo> listed;
        EXPECT_EQ(storage->GetListing(path, listed), Failure) << Shown(path);
        EXPECT_EQ(storage->CreateFolder(path), Failure) << Shown(path);
        EXPECT_EQ(storage->DeleteFile(path), Failure) << Shown(path);
        EXPECT_EQ(storage->DeleteFolder(path), Failure) << Shown(path);
    }
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(storage.log.Texts().size(), 7 * refused.size());

    // The skipped objects are still there, and go with their folder.
    EXPECT_EQ(admin.ListKeys(bucket, "set/").size(), keys.size());
    ASSERT_EQ(storage->DeleteFolder(InBucket("\\set")), Success);
    EXPECT_TRUE(admin.ListKeys(bucket, "set/").empty());
}

// Once the service has stored an object the close succeeds and the file is listed, whatever
// the cache knew of its folders: one this instance deleted, one another client made after the
// parent was listed, and ones nobody made.
TEST_P(Answers, AStoredFileIsASuccessWhateverTheCacheKnewOfItsFolders) {
    admin.PutObject(bucket, "gone/old.bak", "old");
    FaultProxy& server = ProxyFor(GetParam());
    Storage storage(GetParam(), server.Url());
    storage.Open();
    std::list<CFileInfo> top;
    ASSERT_EQ(storage->GetListing(InBucket(""), top), Success);
    admin.PutObject(bucket, "late/first.bak", "first");
    ASSERT_EQ(storage->DeleteFolder(InBucket("\\gone")), Success);

    const std::vector<std::pair<std::string, std::string>> writes = {
        {"gone\\again.bak", "again"},
        {"late\\second.bak", "second"},
        {"new1\\new2\\deep.bak", "deep"}};
    for (const auto& [path, content] : writes) {
        EXPECT_EQ(storage.Write(InBucket("\\" + path), content), Success) << path;
        EXPECT_EQ(storage.Read(InBucket("\\" + path)), std::optional<std::string>(content)) << path;
    }
    std::list<CFileInfo> late;
    ASSERT_EQ(storage->GetListing(InBucket("\\late"), late), Success);
    std::vector<std::string> names;
    for (const CFileInfo& entry : late) names.push_back(Narrow(entry.name));
    EXPECT_EQ(names, (std::vector<std::string>{"first.bak", "second.bak"}));
}

// Data that could not be kept is never stored: a write that found no memory for its block
// fails, and the close then sends nothing and fails, so the good earlier version of the file
// stays. The allocation is made to fail by an address-space limit in a child process.
TEST_P(Answers, AWriteThatLostDataNeverEndsInAStoredObject) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit cannot be combined with the sanitizer's shadow "
                    "memory; the unsanitized build runs this case";
#endif
    admin.PutObject(bucket, "kept.bak", "the good earlier version");
    FaultProxy& server = ProxyFor(GetParam());
    const std::string block(64 * kMiB, 'n');
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int code = 0;
        {
            Storage storage(GetParam(), server.Url());
            storage.Open();
            unsigned int handle = 0;
            if (storage->OpenFile(InBucket("\\kept.bak"), FileAccessMode::Write, handle) !=
                Success) {
                _exit(10);
            }
            unsigned int length = 1024;
            if (storage->WriteFile(reinterpret_cast<const unsigned char*>(block.data()), length,
                                   handle) != Success) {
                _exit(11);
            }
            // Room for a few more pages, not for the block.
            long pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            rlimit limit{};
            getrlimit(RLIMIT_AS, &limit);
            const rlim_t before = limit.rlim_cur;
            limit.rlim_cur = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + 8 * kMiB;
            setrlimit(RLIMIT_AS, &limit);
            length = static_cast<unsigned int>(block.size());
            const ResultCode written = storage->WriteFile(
                reinterpret_cast<const unsigned char*>(block.data()), length, handle);
            limit.rlim_cur = before;
            setrlimit(RLIMIT_AS, &limit);
            if (written != Failure) code = 12;
            server.ClearRequests();
            if (storage->CloseFile(handle) != Failure) code = 13;
            if (!server.Requests().empty()) code = 14;
        }
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "12: the write did not fail, 13: the close did not fail, "
                                         "14: the close sent a request";
    EXPECT_EQ(admin.GetObject(bucket, "kept.bak"),
              std::optional<std::string>("the good earlier version"));
    EXPECT_TRUE(admin.ListMultipartUploads(bucket).empty());
}

INSTANTIATE_TEST_SUITE_P(Deliverables, Answers,
                         testing::Values("Mardel", "Ruvast", "Golmer", "Tresko", "PennatLoopback"));

// ---- Several deliverables in one host ----

// Lets threads go on together: each waits in Pass until all `count` have come.
class Meeting {
  public:
    explicit Meeting(std::size_t count) : count_(count) {}
    void Pass() {
        std::unique_lock<std::mutex> lock(mutex_);
        const std::size_t round = arrived_ / count_;
        if (++arrived_ % count_ == 0) {
            met_.notify_all();
            return;
        }
        met_.wait(lock, [&] { return arrived_ / count_ > round; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable met_;
    std::size_t count_;
    std::size_t arrived_ = 0;
};

// A host may load every deliverable into one process and use an instance of each on a thread
// of its own: the five are made, used and destroyed at the same moment. (CI runs this under
// ThreadSanitizer.)
class Together : public EachDeliverable {};

TEST_F(Together, EveryDeliverableOnAThreadOfItsOwnAtTheSameMoment) {
    const std::vector<std::string> deliverables = {"Mardel", "Ruvast", "Golmer", "Tresko",
                                                   "PennatLoopback"};
    std::vector<std::unique_ptr<Storage>> storages;
    for (const std::string& deliverable : deliverables)
        storages.push_back(std::make_unique<Storage>(deliverable, ProxyFor(deliverable).Url()));
    Meeting meeting(deliverables.size());
    std::vector<std::string> problems(deliverables.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < deliverables.size(); ++i)
        threads.emplace_back([&, i] {
            Storage& storage = *storages[i];
            meeting.Pass();
            storage.Open();
            meeting.Pass();
            // Each writes and reads back files of its own, in a folder of its own.
            for (int file = 0; file < 3; ++file) {
                const std::wstring path =
                    InBucket("\\" + deliverables[i] + "\\" + std::to_string(file));
                const std::string data(static_cast<std::size_t>(file) * 70000 + 1,
                                       static_cast<char>('a' + i));
                if (storage.Write(path, data) != Success)
                    problems[i] += " write " + std::to_string(file);
                else if (storage.Read(path) != std::optional<std::string>(data))
                    problems[i] += " read " + std::to_string(file);
            }
            meeting.Pass();
            storage.Close();
        });
    for (std::thread& thread : threads) thread.join();
    for (std::size_t i = 0; i < deliverables.size(); ++i) {
        std::string logged;
        for (const std::string& line : storages[i]->log.Texts()) logged += line + "\n";
        EXPECT_EQ(problems[i], "") << deliverables[i] << "\n" << logged;
        EXPECT_EQ(admin.ListKeys(bucket, deliverables[i] + "/").size(), 3u) << deliverables[i];
    }
}

// What a host is told of each deliverable (plughost reads the same table of provider facts) is
// what the deliverable does: the name its descriptor gives, and the parameters it asks the host
// for while it sets up, in the order the facts list them and no others.
TEST_F(Together, EachDeliverableIsWhatItsProviderFactsSay) {
    const std::pair<std::string, const providers::Provider*> deliverables[] = {
        {"Tresko", &providers::Tresko},
        {"Mardel", &providers::Mardel},
        {"PennatLoopback", &providers::Pennat},
        {"Ruvast", &providers::Ruvast},
        {"Golmer", &providers::Golmer}};
    for (const auto& [deliverable, facts] : deliverables) {
        SCOPED_TRACE(deliverable);
        Storage storage(deliverable, ProxyFor(deliverable).Url());
        IPluginInfo* descriptor = storage.lib.GetPluginInfo();
        EXPECT_EQ(descriptor->GetPluginName(), facts->displayName.wide);
        descriptor->Destroy();
        storage.link.ClearAsked();
        storage.Open();
        std::vector<std::wstring> asked;
        for (const std::wstring& key : storage.link.Asked())
            if (std::find(asked.begin(), asked.end(), key) == asked.end()) asked.push_back(key);
        std::vector<std::wstring> listed;
        for (std::size_t i = 0; i < facts->parameterCount; ++i)
            listed.push_back(facts->parameters[i].key.wide);
        EXPECT_EQ(asked, listed);
        storage.Close();
    }
}

// ---- Parameters ----

// What every operation answers once set-up has failed: a clear result, nothing stored.
void ExpectEveryOperationFailsCleanly(Storage& storage, const std::string& bucket,
                                      const std::string& what) {
    const std::wstring file = Wide(bucket + "\\f.bak");
    std::list<CFileInfo> entries;
    EXPECT_EQ(storage->GetListing(L"", entries), Failure) << what;
    EXPECT_TRUE(entries.empty()) << what;
    EXPECT_NE(storage->GetListing(Wide(bucket), entries), Success) << what;
    CFileAttributes attributes;
    EXPECT_NE(storage->GetElementAttributes(file, attributes), Success) << what;
    unsigned int handle = 77;
    EXPECT_EQ(storage->OpenFile(file, FileAccessMode::Read, handle), Failure) << what;
    EXPECT_EQ(handle, 77u);
    EXPECT_NE(storage.Write(file, "lost"), Success) << what;
    EXPECT_NE(storage->CreateFolder(Wide(bucket + "\\dir")), Success) << what;
    EXPECT_NE(storage->DeleteFile(file), Success) << what;
    EXPECT_NE(storage->DeleteFolder(Wide(bucket + "\\dir")), Success) << what;
}

TEST_F(HostInput, EndpointsThatAreNoReachableUrlFailEveryOperationCleanly) {
    // Every one of these names loopback or nothing, so that a mistake cannot leave the machine.
    const std::vector<std::string> endpoints = {
        "http://127.0.0.1:1",
        "http://[::1",
        "http://127.0.0.1:99999",
        "http://127.0.0.1:port",
        "http://127.0.0.1:",
        "http:// 127.0.0.1",
        "http://user:pw@127.0.0.1:1",
        "http://127.0.0.1:1?query",
        "ftp://127.0.0.1:1",
        "\x01\x02\x7f",
        "%zz",
        "http://127.0.0.1:1/" + std::string(kMiB, 'p'),
        std::string(kMiB, '/'),
    };
    for (const char* deliverable : {"Mardel", "Ruvast"}) {
        for (const std::string& endpoint : endpoints) {
            const std::string what = std::string(deliverable) + " " + endpoint.substr(0, 40);
            Storage storage(deliverable, endpoint);
            WithinSeconds(20, what, [&] {
                storage.Open();
                ExpectEveryOperationFailsCleanly(storage, bucket, what);
            });
            EXPECT_TRUE(storage.log.Contains("Cannot get buckets listing.")) << what;
        }
    }
    EXPECT_TRUE(admin.ListKeys(bucket).empty());
}

TEST_F(HostInput, EmptyAndAbsurdlyLongParametersFailCleanlyOrWork) {
    const std::wstring huge(kMiB, L'x');
    struct Case {
        const char* deliverable;
        const wchar_t* key;
        std::wstring value;
        bool works;  // the service is reachable and asks for no signature: work goes on
    };
    const std::vector<Case> cases = {
        {"Mardel", L"AccessKeyID", huge, false}, {"Mardel", L"SecretAccessKey", huge, true},
        {"Mardel", L"Region", huge, false},      {"Mardel", L"ServerName", huge, false},
        {"Mardel", L"Region", L"", true},        {"Ruvast", L"UserName", huge, false},
        {"Ruvast", L"Password", huge, true},     {"Tresko", L"Region", huge, false},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.deliverable) + " " + Narrow(c.key) + " of " +
                                 std::to_string(c.value.size());
        Storage storage(c.deliverable, proxy->Url());
        storage.link.Set(c.key, c.value);
        WithinSeconds(20, what, [&] {
            storage.Open();
            const std::wstring file = Wide(bucket + "\\params.bak");
            if (c.works) {
                EXPECT_EQ(storage.Write(file, "params"), Success) << what;
                EXPECT_EQ(storage.Read(file), std::optional<std::string>("params")) << what;
                EXPECT_EQ(storage->DeleteFile(file), Success) << what;
            } else {
                EXPECT_NE(storage.Write(file, "params"), Success) << what;
                EXPECT_EQ(admin.GetObject(bucket, "params.bak"), std::nullopt) << what;
            }
        });
    }
    // Keys nobody set at all: the instance is still built and fails where it must.
    Storage bare("Mardel", proxy->Url());
    bare.link.Unset(L"ServerName");
    bare.link.Unset(L"AccessKeyID");
    bare.link.Unset(L"SecretAccessKey");
    bare.link.Unset(L"Region");
    WithinSeconds(20, "bare", [&] {
        bare.Open();
        std::list<CFileInfo> entries;
        EXPECT_EQ(bare->GetListing(L"", entries), Failure);
        EXPECT_TRUE(bare.log.Contains("Server name is empty"));
        // Without a server nothing is sent: not to the SDK's public default endpoint either.
        EXPECT_FALSE(bare.log.Contains("Cannot get buckets listing."));
        EXPECT_NE(bare.Write(Wide(bucket + "\\bare.bak"), "bare"), Success);
    });
}

TEST_F(HostInput, AnInstanceWhoseServiceComesBackLaterWorksAgain) {
    // Set up while the service refuses everything: the failure is reported, the instance
    // returned, and once the service answers again the host's work goes through.
    testhost::FaultRule refuse;
    refuse.count = -1;
    refuse.status = 503;
    refuse.errorCode = "ServiceUnavailable";
    proxy->AddRule(refuse);
    Storage storage("Mardel", proxy->Url());
    storage.Open();
    EXPECT_TRUE(storage.log.Contains("Cannot get buckets listing."));
    EXPECT_EQ(storage.Write(Wide(bucket + "\\back.bak"), "back"), Failure);
    EXPECT_EQ(admin.GetObject(bucket, "back.bak"), std::nullopt);
    proxy->ClearRules();
    std::list<CFileInfo> entries;
    EXPECT_EQ(storage->GetListing(L"", entries), Success);
    EXPECT_EQ(storage.Write(Wide(bucket + "\\back.bak"), "back"), Success);
    EXPECT_EQ(storage.Read(Wide(bucket + "\\back.bak")), std::optional<std::string>("back"));
}

}  // namespace
