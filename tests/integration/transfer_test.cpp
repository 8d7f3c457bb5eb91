// Backups and restores through the plug-ins' file handles, as the host drives them: files
// written block by block into a local S3 server and read back, with the requests observed and
// failed by the fault proxy in front of the server.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testhost/Testhost.h"
#include "torvik/Strings.h"

namespace {

using testhost::FaultAction;
using testhost::FaultRule;
using testhost::RecordedRequest;

constexpr std::uint64_t kUnit = 104857600;  // the transfer unit: upload threshold, range span
constexpr std::uint64_t kMiB = 1024 * 1024;

struct InstanceDeleter {
    void operator()(IBackupDataWrite* instance) const { instance->Destroy(); }
};
using Instance = std::unique_ptr<IBackupDataWrite, InstanceDeleter>;

std::wstring Wide(const std::string& text) { return Torvik::strings::UTF8toWstr(text); }

// File contents: byte i of the stream `seed` depends on i and the seed only, so a writer and a
// checker can produce any stretch of it without holding the whole file.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

void FillContent(std::uint64_t seed, std::uint64_t offset, char* out, std::size_t length) {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint64_t at = offset + i;
        if (i == 0 || at % 8 == 0) word = Mix(seed * 0x100000001B3ull ^ (at / 8));
        out[i] = static_cast<char>(word >> (8 * (at % 8)));
    }
}

std::string Content(std::uint64_t seed, std::uint64_t offset, std::size_t length) {
    std::string data(length, '\0');
    FillContent(seed, offset, &data[0], length);
    return data;
}

// 64-bit FNV-1a, continued from `hash`.
std::uint64_t Hash(const char* data, std::size_t length,
                   std::uint64_t hash = 0xCBF29CE484222325ull) {
    for (std::size_t i = 0; i < length; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= 0x100000001B3ull;
    }
    return hash;
}

std::uint64_t ContentHash(std::uint64_t seed, std::uint64_t size) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    std::string block;
    for (std::uint64_t at = 0; at < size; at += 8 * kMiB) {
        block = Content(seed, at, static_cast<std::size_t>(std::min(8 * kMiB, size - at)));
        hash = Hash(block.data(), block.size(), hash);
    }
    return hash;
}

std::string PathOf(const std::string& target) { return target.substr(0, target.find('?')); }

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The requests of one object, by kind.
bool IsCreate(const RecordedRequest& r) { return r.method == "POST" && Has(r.target, "?uploads"); }
bool IsPart(const RecordedRequest& r) { return r.method == "PUT" && Has(r.target, "partNumber="); }
bool IsComplete(const RecordedRequest& r) {
    return r.method == "POST" && Has(r.target, "uploadId=");
}
bool IsAbort(const RecordedRequest& r) {
    return r.method == "DELETE" && Has(r.target, "uploadId=");
}
bool IsPut(const RecordedRequest& r) { return r.method == "PUT" && !Has(r.target, "?"); }
bool IsGet(const RecordedRequest& r) { return r.method == "GET" && !Has(r.target, "?"); }

std::string QueryValue(const std::string& target, const std::string& name) {
    const std::size_t at = target.find(name + "=");
    if (at == std::string::npos) return "<absent>";
    const std::size_t begin = at + name.size() + 1;
    return target.substr(begin, target.find('&', begin) - begin);
}

std::string Header(const RecordedRequest& request, const std::string& name) {
    const auto found = request.headers.find(name);
    return found == request.headers.end() ? "<absent>" : found->second;
}

using testhost::StderrCapture;

// One plug-in, set up to send everything to `url` (for PennatLoopback, the proxy must listen on
// the port built into it).
class Host {
  public:
    Host(const std::string& name, const std::string& url) : lib(name), endpointText(url) {
        if (name == "Ruvast" || name == "Golmer") {
            *lib.Symbol<char*>("Endpoint") = &endpointText[0];
            link.Set(L"UserName", L"AKIDTRANSFER");
            link.Set(L"Password", L"transfer-secret");
            return;
        }
        link.Set(L"AccessKeyID", L"AKIDTRANSFER");
        link.Set(L"SecretAccessKey", L"transfer-secret");
        if (name == "Mardel") {
            link.Set(L"ServerName", Wide(url));
            link.Set(L"Region", L"us-east-1");
        } else if (name == "Tresko") {
            endpointVariable.emplace("AWS_ENDPOINT_URL_S3", url);
            link.Set(L"Region", L"us-east-1");
            link.Set(L"FallbackRegion", L"us-east-1");
        }
    }

    Instance Open() { return Instance(lib.GetBackupDataWrite(&log, &link)); }

    testhost::PluginLibrary lib;
    testhost::RecordingLog log;
    testhost::MapLink link;

  private:
    std::string endpointText;
    std::optional<testhost::ScopedEnv> endpointVariable;
};

class TransferBase : public testing::Test {
  protected:
    explicit TransferBase(int proxyPort = 0)
        : retryMode("AWS_RETRY_MODE", "standard"),
          attempts("AWS_MAX_ATTEMPTS", "1"),
          moto(testhost::MotoServer::Shared()),
          admin(moto.Url()),
          proxy(moto.Url(), proxyPort),
          bucket(admin.UniqueBucketName("transfer")) {
        admin.CreateBucket(bucket);
    }

    void TearDown() override {
        // Whatever a test did, no request may name an upload without its id.
        for (const auto& request : proxy.Requests()) {
            if (Has(request.target, "uploadId=")) {
                EXPECT_NE(QueryValue(request.target, "uploadId"), "")
                    << request.method << " " << request.target;
            }
        }
    }

    std::wstring Path(const std::string& key) const { return Wide(bucket + "\\" + key); }

    // The recorded requests of `key` that `kind` selects.
    std::vector<RecordedRequest> Of(const std::string& key,
                                    bool (*kind)(const RecordedRequest&)) const {
        std::vector<RecordedRequest> selected;
        for (const auto& request : proxy.Requests()) {
            if (PathOf(request.target) == "/" + bucket + "/" + key && kind(request)) {
                selected.push_back(request);
            }
        }
        return selected;
    }

    std::vector<std::string> RangesOf(const std::string& key) const {
        std::vector<std::string> ranges;
        for (const auto& request : Of(key, IsGet)) ranges.push_back(Header(request, "range"));
        return ranges;
    }

    // Writes `size` bytes of the content `seed` in blocks of `block` bytes, checking that no
    // call changes the caller's length; stops at the first result other than Success.
    ResultCode Write(IBackupDataWrite& instance, unsigned int handle, std::uint64_t seed,
                     std::uint64_t size, std::uint64_t block, std::uint64_t offset = 0) {
        std::string data;
        for (std::uint64_t at = offset; at < offset + size; at += block) {
            data = Content(seed, at, static_cast<std::size_t>(std::min(block, offset + size - at)));
            unsigned int length = static_cast<unsigned int>(data.size());
            const ResultCode result = instance.WriteFile(
                reinterpret_cast<const unsigned char*>(data.data()), length, handle);
            EXPECT_EQ(length, data.size());
            if (result != Success) return result;
        }
        return Success;
    }

    ResultCode WriteFile(IBackupDataWrite& instance, const std::string& key, std::uint64_t seed,
                         std::uint64_t size, std::uint64_t block) {
        unsigned int handle = 0;
        if (instance.OpenFile(Path(key), FileAccessMode::Write, handle) != Success) return Failure;
        const ResultCode written = Write(instance, handle, seed, size, block);
        const ResultCode closed = instance.CloseFile(handle);
        return written != Success ? written : closed;
    }

    // Reads the open handle to its end with reads of `capacity` bytes; returns the hash of
    // what came and its length, or nullopt when a read failed.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> ReadToEnd(IBackupDataWrite& instance,
                                                                     unsigned int handle,
                                                                     std::uint64_t capacity) {
        std::vector<unsigned char> destination(capacity);
        std::uint64_t hash = 0xCBF29CE484222325ull;
        std::uint64_t total = 0;
        for (;;) {
            unsigned int length = static_cast<unsigned int>(capacity);
            const ResultCode result = instance.ReadFile(destination.data(), length, handle);
            if (result == EndOfData) {
                EXPECT_EQ(length, 0u);
                return std::make_pair(hash, total);
            }
            if (result != Success) return std::nullopt;
            hash = Hash(reinterpret_cast<const char*>(destination.data()), length, hash);
            total += length;
        }
    }

    // Either the object holds exactly the content, or nothing is stored and nothing is open.
    void ExpectNothingStored(const std::string& key) {
        EXPECT_FALSE(admin.GetObject(bucket, key).has_value()) << key;
        EXPECT_TRUE(admin.ListMultipartUploads(bucket).empty());
    }

    void ExpectStored(const std::string& key, std::uint64_t seed, std::uint64_t size) {
        const std::optional<std::string> stored = admin.GetObject(bucket, key);
        ASSERT_TRUE(stored.has_value()) << key;
        ASSERT_EQ(stored->size(), size);
        EXPECT_EQ(Hash(stored->data(), stored->size()), ContentHash(seed, size));
        EXPECT_TRUE(admin.ListMultipartUploads(bucket).empty());
    }

    testhost::ScopedEnv retryMode;
    testhost::ScopedEnv attempts;
    testhost::MotoServer& moto;
    testhost::S3Admin admin;
    testhost::FaultProxy proxy;
    std::string bucket;
};

class Transfer : public TransferBase {
  protected:
    Transfer() : host("Mardel", proxy.Url()), instance(host.Open()) { proxy.ClearRequests(); }

    Host host;
    Instance instance;
};

// ---- Uploads and downloads that succeed ----

TEST_F(Transfer, EmptyFileIsOnePutAndReadsBackAsEndOfData) {
    ASSERT_EQ(WriteFile(*instance, "empty.bak", 1, 0, 1), Success);
    const auto puts = Of("empty.bak", IsPut);
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].bodyBytes, 0);
    EXPECT_EQ(Of("empty.bak", [](const RecordedRequest&) { return true; }).size(), 1u);
    ExpectStored("empty.bak", 1, 0);

    CFileAttributes attributes;
    ASSERT_EQ(instance->GetElementAttributes(Path("empty.bak"), attributes), Success);
    EXPECT_EQ(attributes.size, 0u);
    EXPECT_TRUE(attributes.sizeValid);
    EXPECT_FALSE(attributes.timeValid);

    proxy.ClearRequests();
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("empty.bak"), FileAccessMode::Read, handle), Success);
    unsigned char destination[16];
    unsigned int length = sizeof destination;
    EXPECT_EQ(instance->ReadFile(destination, length, handle), EndOfData);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(instance->CloseFile(handle), Success);
    EXPECT_TRUE(proxy.Requests().empty());
}

TEST_F(Transfer, SmallObjectIsOneRangeThenEndOfDataWithoutARequest) {
    admin.PutObject(bucket, "ten.bak", "0123456789");
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("ten.bak"), FileAccessMode::Read, handle), Success);
    proxy.ClearRequests();

    unsigned char destination[64];
    unsigned int length = 4;
    ASSERT_EQ(instance->ReadFile(destination, length, handle), Success);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(destination), length), "0123");
    length = sizeof destination;
    ASSERT_EQ(instance->ReadFile(destination, length, handle), Success);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(destination), length), "456789");
    length = sizeof destination;
    EXPECT_EQ(instance->ReadFile(destination, length, handle), EndOfData);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(RangesOf("ten.bak"), std::vector<std::string>{"bytes=0-10"});
    EXPECT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(instance->CloseFile(handle), Success);
    EXPECT_EQ(proxy.Requests().size(), 1u);
}

TEST_F(Transfer, ObjectWrittenAgainReadsBackWithItsNewSize) {
    ASSERT_EQ(WriteFile(*instance, "again.bak", 2, 3, 3), Success);
    ASSERT_EQ(WriteFile(*instance, "again.bak", 3, 10, 4), Success);
    CFileAttributes attributes;
    ASSERT_EQ(instance->GetElementAttributes(Path("again.bak"), attributes), Success);
    EXPECT_EQ(attributes.size, 10u);

    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("again.bak"), FileAccessMode::Read, handle), Success);
    const auto read = ReadToEnd(*instance, handle, 64);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->second, 10u);
    EXPECT_EQ(read->first, ContentHash(3, 10));
    EXPECT_EQ(instance->CloseFile(handle), Success);
}

TEST_F(Transfer, DestroyingTheInstanceFinishesUploadsNeverClosed) {
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("left/open.bak"), FileAccessMode::Write, handle), Success);
    ASSERT_EQ(Write(*instance, handle, 4, 5000, 1000), Success);
    EXPECT_TRUE(proxy.Requests().empty());
    instance.reset();
    EXPECT_EQ(Of("left/open.bak", IsPut).size(), 1u);
    ExpectStored("left/open.bak", 4, 5000);
}

TEST_F(Transfer, BadHandlesFailAndLeaveTheTableAlone) {
    admin.PutObject(bucket, "in.bak", "abc");
    unsigned int reading = 0;
    unsigned int writing = 0;
    ASSERT_EQ(instance->OpenFile(Path("in.bak"), FileAccessMode::Read, reading), Success);
    ASSERT_EQ(instance->OpenFile(Path("out.bak"), FileAccessMode::Write, writing), Success);
    ASSERT_NE(reading, writing);
    const unsigned int unknown = std::max(reading, writing) + 100;

    unsigned char bytes[8] = {'x', 'y', 'z'};
    unsigned int length = 3;
    EXPECT_EQ(instance->WriteFile(bytes, length, reading), Failure);
    EXPECT_EQ(instance->WriteFile(bytes, length, unknown), Failure);
    EXPECT_EQ(instance->ReadFile(bytes, length, writing), Failure);
    EXPECT_EQ(instance->ReadFile(bytes, length, unknown), Failure);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(instance->CloseFile(unknown), Failure);
    EXPECT_EQ(instance->SeekFile(unknown, 5), Success);

    // Both handles still work as before.
    EXPECT_EQ(instance->WriteFile(bytes, length, writing), Success);
    EXPECT_EQ(instance->CloseFile(writing), Success);
    EXPECT_EQ(admin.GetObject(bucket, "out.bak"), std::optional<std::string>("xyz"));
    length = sizeof bytes;
    EXPECT_EQ(instance->ReadFile(bytes, length, reading), Success);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), length), "abc");
    EXPECT_EQ(instance->CloseFile(reading), Success);
    EXPECT_EQ(instance->CloseFile(reading), Failure);
}

TEST_F(Transfer, PathsWithoutAKeyFailWithoutARequest) {
    for (const std::wstring& path : {std::wstring(), Wide(bucket), Wide(bucket + "\\"),
                                     Wide(bucket + "/"), std::wstring(L"\\file.bak")}) {
        for (const FileAccessMode::ID mode : {FileAccessMode::Read, FileAccessMode::Write}) {
            unsigned int handle = 77;
            EXPECT_EQ(instance->OpenFile(path, mode, handle), Failure)
                << Torvik::strings::WstrToUTF8(path) << " mode " << mode;
            EXPECT_EQ(handle, 77u);
        }
    }
    EXPECT_TRUE(proxy.Requests().empty());
}

TEST_F(Transfer, ReadingAFileTheListingDoesNotKnowFails) {
    unsigned int handle = 77;
    EXPECT_EQ(instance->OpenFile(Path("missing.bak"), FileAccessMode::Read, handle), Failure);
    EXPECT_EQ(handle, 77u);
    EXPECT_TRUE(Of("missing.bak", IsGet).empty());
}

// ---- Thresholds, part sizes and ranges of large files ----

TEST_F(Transfer, OneTransferUnitInUnevenBlocksIsOnePut) {
    ASSERT_EQ(WriteFile(*instance, "unit.bak", 5, kUnit, 3 * kMiB + 17), Success);
    const auto puts = Of("unit.bak", IsPut);
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].bodyBytes, static_cast<long long>(kUnit));
    EXPECT_TRUE(Of("unit.bak", IsCreate).empty());
    EXPECT_TRUE(Of("unit.bak", IsPart).empty());
    ExpectStored("unit.bak", 5, kUnit);
    admin.DeleteObject(bucket, "unit.bak");
}

TEST_F(Transfer, OneBlockPastTheUnitIsOnePartAndReadsBackInOneRange) {
    const std::uint64_t size = kUnit + 1;
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("one-part.bak"), FileAccessMode::Write, handle), Success);
    ASSERT_EQ(Write(*instance, handle, 6, size, size), Success);
    // The write itself started the upload and sent everything as part 1.
    ASSERT_EQ(Of("one-part.bak", IsCreate).size(), 1u);
    auto parts = Of("one-part.bak", IsPart);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(QueryValue(parts[0].target, "partNumber"), "1");
    EXPECT_EQ(parts[0].bodyBytes, static_cast<long long>(size));

    ASSERT_EQ(instance->CloseFile(handle), Success);
    EXPECT_EQ(Of("one-part.bak", IsPart).size(), 1u);
    const auto completions = Of("one-part.bak", IsComplete);
    ASSERT_EQ(completions.size(), 1u);
    const std::string& body = completions[0].body;
    EXPECT_EQ(Count(body, "<Part>"), 1u) << body;
    EXPECT_TRUE(Has(body, "<PartNumber>1</PartNumber>")) << body;
    EXPECT_TRUE(Of("one-part.bak", IsPut).empty());
    EXPECT_TRUE(Of("one-part.bak", IsAbort).empty());
    EXPECT_TRUE(admin.ListMultipartUploads(bucket).empty());

    CFileAttributes attributes;
    ASSERT_EQ(instance->GetElementAttributes(Path("one-part.bak"), attributes), Success);
    EXPECT_EQ(attributes.size, size);

    proxy.ClearRequests();
    ASSERT_EQ(instance->OpenFile(Path("one-part.bak"), FileAccessMode::Read, handle), Success);
    const auto read = ReadToEnd(*instance, handle, 8 * kMiB);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->second, size);
    EXPECT_EQ(read->first, ContentHash(6, size));
    EXPECT_EQ(RangesOf("one-part.bak"), std::vector<std::string>{"bytes=0-104857600"});
    EXPECT_EQ(instance->CloseFile(handle), Success);
    admin.DeleteObject(bucket, "one-part.bak");
}

TEST_F(Transfer, BlocksOf64KiBSendTheFirstPartWithThe1601stBlock) {
    const std::uint64_t block = 65536;
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("blocks.bak"), FileAccessMode::Write, handle), Success);
    ASSERT_EQ(Write(*instance, handle, 7, 1600 * block, block), Success);
    EXPECT_TRUE(proxy.Requests().empty()) << "exactly one unit is buffered, nothing is sent";

    ASSERT_EQ(Write(*instance, handle, 7, block, block, 1600 * block), Success);
    ASSERT_EQ(Of("blocks.bak", IsCreate).size(), 1u);
    const auto parts = Of("blocks.bak", IsPart);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].bodyBytes, 104923136);
    EXPECT_EQ(Header(parts[0], "content-length"), "104923136");

    ASSERT_EQ(instance->CloseFile(handle), Success);
    EXPECT_EQ(Of("blocks.bak", IsPart).size(), 1u);
    EXPECT_EQ(Of("blocks.bak", IsComplete).size(), 1u);
    ExpectStored("blocks.bak", 7, 1601 * block);
    admin.DeleteObject(bucket, "blocks.bak");
}

TEST_F(Transfer, ReadsNeverSpanTwoRanges) {
    const std::uint64_t size = kUnit + 2;
    std::string data = Content(8, 0, size);
    admin.PutObject(bucket, "two-ranges.bak", data);
    data.clear();
    data.shrink_to_fit();

    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("two-ranges.bak"), FileAccessMode::Read, handle), Success);
    proxy.ClearRequests();
    const std::uint64_t capacity = 4 * kMiB;  // 25 reads fill the first range but for 1 byte
    std::vector<unsigned char> destination(capacity);
    std::uint64_t hash = 0xCBF29CE484222325ull;
    std::vector<unsigned int> lengths;
    for (;;) {
        unsigned int length = static_cast<unsigned int>(capacity);
        const ResultCode result = instance->ReadFile(destination.data(), length, handle);
        if (result == EndOfData) break;
        ASSERT_EQ(result, Success);
        hash = Hash(reinterpret_cast<const char*>(destination.data()), length, hash);
        lengths.push_back(length);
    }
    ASSERT_EQ(lengths.size(), 27u);
    EXPECT_EQ(lengths[24], capacity);
    EXPECT_EQ(lengths[25], 1u) << "what is left of the first range, not more";
    EXPECT_EQ(lengths[26], 1u) << "the second range holds one byte";
    EXPECT_EQ(hash, ContentHash(8, size));
    EXPECT_EQ(RangesOf("two-ranges.bak"),
              (std::vector<std::string>{"bytes=0-104857600", "bytes=104857601-104857602"}));
    unsigned int length = static_cast<unsigned int>(capacity);
    EXPECT_EQ(instance->ReadFile(destination.data(), length, handle), EndOfData);
    EXPECT_EQ(RangesOf("two-ranges.bak").size(), 2u);
    EXPECT_EQ(instance->CloseFile(handle), Success);
    admin.DeleteObject(bucket, "two-ranges.bak");
}

TEST_F(Transfer, LargeFileRoundTripsByteForByte) {
    const std::uint64_t size = 250 * kMiB + 12345;
    const std::uint64_t block = kMiB + 7;
    ASSERT_EQ(WriteFile(*instance, "large.bak", 9, size, block), Success);

    // Each part holds whole blocks: as many as it takes to pass one unit; the rest goes last.
    const std::uint64_t blocksPerPart = kUnit / block + 1;
    const auto parts = Of("large.bak", IsPart);
    ASSERT_EQ(parts.size(), 3u);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(QueryValue(parts[i].target, "partNumber"), std::to_string(i + 1));
    }
    EXPECT_EQ(parts[0].bodyBytes, static_cast<long long>(blocksPerPart * block));
    EXPECT_EQ(parts[1].bodyBytes, static_cast<long long>(blocksPerPart * block));
    EXPECT_EQ(parts[2].bodyBytes, static_cast<long long>(size - 2 * blocksPerPart * block));
    EXPECT_TRUE(admin.ListMultipartUploads(bucket).empty());

    proxy.ClearRequests();
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("large.bak"), FileAccessMode::Read, handle), Success);
    const auto read = ReadToEnd(*instance, handle, kMiB);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->second, size);
    EXPECT_EQ(read->first, ContentHash(9, size));
    EXPECT_EQ(RangesOf("large.bak"),
              (std::vector<std::string>{"bytes=0-104857600", "bytes=104857601-209715201",
                                        "bytes=209715202-" + std::to_string(size)}));
    EXPECT_EQ(instance->CloseFile(handle), Success);
    admin.DeleteObject(bucket, "large.bak");
}

// ---- Downloads that fail ----

TEST_F(Transfer, FailedRangeFailsTheReadAndTheNextReadAsksForItAgain) {
    admin.PutObject(bucket, "retry.bak", "0123456789");
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("retry.bak"), FileAccessMode::Read, handle), Success);
    proxy.ClearRequests();
    host.log.Clear();
    proxy.AddRule(FaultRule{"GET", "^/" + bucket + "/retry\\.bak$", 1, 1, FaultAction::Status});

    unsigned char destination[32];
    std::memset(destination, '#', sizeof destination);
    unsigned int length = sizeof destination;
    EXPECT_EQ(instance->ReadFile(destination, length, handle), Failure);
    EXPECT_EQ(length, sizeof destination);
    EXPECT_EQ(destination[0], '#');
    const auto texts = host.log.Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Cannot download part");
    EXPECT_TRUE(host.log.Contains("ExceptionName: InternalError"));

    ASSERT_EQ(instance->ReadFile(destination, length, handle), Success);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(destination), length), "0123456789");
    EXPECT_EQ(RangesOf("retry.bak"), (std::vector<std::string>{"bytes=0-10", "bytes=0-10"}));
    EXPECT_EQ(instance->CloseFile(handle), Success);
}

TEST_F(Transfer, TruncatedBodyFailsTheRead) {
    admin.PutObject(bucket, "cut.bak", "0123456789");
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("cut.bak"), FileAccessMode::Read, handle), Success);
    FaultRule rule{"GET", "^/" + bucket + "/cut\\.bak$", 1, 1, FaultAction::Truncate};
    rule.truncateAfter = 4;
    proxy.AddRule(rule);
    host.log.Clear();

    unsigned char destination[32];
    std::memset(destination, '#', sizeof destination);
    unsigned int length = sizeof destination;
    EXPECT_EQ(instance->ReadFile(destination, length, handle), Failure);
    EXPECT_EQ(length, sizeof destination);
    EXPECT_EQ(destination[0], '#');
    EXPECT_TRUE(host.log.Contains("Cannot download part"));

    ASSERT_EQ(instance->ReadFile(destination, length, handle), Success);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(destination), length), "0123456789");
    EXPECT_EQ(instance->CloseFile(handle), Success);
}

TEST_F(Transfer, ObjectThatChangedSizeSinceListingFailsTheRead) {
    admin.PutObject(bucket, "grew.bak", "0123456789");
    admin.PutObject(bucket, "shrank.bak", "0123456789");
    unsigned int grew = 0;
    unsigned int shrank = 0;
    ASSERT_EQ(instance->OpenFile(Path("grew.bak"), FileAccessMode::Read, grew), Success);
    ASSERT_EQ(instance->OpenFile(Path("shrank.bak"), FileAccessMode::Read, shrank), Success);
    admin.PutObject(bucket, "grew.bak", "0123456789abcdefghij");
    admin.PutObject(bucket, "shrank.bak", "01234");

    for (const unsigned int handle : {grew, shrank}) {
        unsigned char destination[32];
        std::memset(destination, '#', sizeof destination);
        unsigned int length = sizeof destination;
        EXPECT_EQ(instance->ReadFile(destination, length, handle), Failure);
        EXPECT_EQ(length, sizeof destination);
        EXPECT_EQ(destination[0], '#');
        EXPECT_EQ(instance->CloseFile(handle), Success);
    }
    EXPECT_EQ(RangesOf("grew.bak"), std::vector<std::string>{"bytes=0-10"});
    EXPECT_EQ(RangesOf("shrank.bak"), std::vector<std::string>{"bytes=0-10"});
}

// ---- Uploads that fail: the host hears of it, and nothing half-written is left behind ----

TEST_F(Transfer, FailedPutFailsTheCloseAndKeepsTheFileOutOfTheListing) {
    proxy.AddRule(FaultRule{"PUT", "^/" + bucket + "/lost\\.bak$", 1, 1, FaultAction::Status});
    host.log.Clear();
    EXPECT_EQ(WriteFile(*instance, "lost.bak", 10, 1000, 100), Failure);
    const auto texts = host.log.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0].rfind("ErrorType: ", 0), 0u) << "the error comes without a context line";
    EXPECT_TRUE(host.log.Contains("ExceptionName: InternalError"));
    ExpectNothingStored("lost.bak");
    CFileAttributes attributes;
    EXPECT_NE(instance->GetElementAttributes(Path("lost.bak"), attributes), Success);
}

TEST_F(Transfer, FailedCreateStopsTheUploadWithoutSendingAPart) {
    proxy.AddRule(FaultRule{"POST", "\\?uploads", 1, 1, FaultAction::Status});
    host.log.Clear();
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("no-start.bak"), FileAccessMode::Write, handle), Success);
    EXPECT_EQ(Write(*instance, handle, 11, kUnit + 1, kUnit + 1), Failure);
    EXPECT_EQ(host.log.Texts().at(0), "Cannot initialize multipart upload.");
    EXPECT_TRUE(host.log.Contains("ExceptionName: InternalError"));
    EXPECT_EQ(proxy.Requests().size(), 1u);

    // Later writes fail at once and send nothing; the close has nothing to abort.
    EXPECT_EQ(Write(*instance, handle, 11, 10, 10, kUnit + 1), Failure);
    EXPECT_EQ(instance->CloseFile(handle), Failure);
    EXPECT_EQ(proxy.Requests().size(), 1u);
    ExpectNothingStored("no-start.bak");
}

TEST_F(Transfer, FailedPartDuringAWriteIsAbortedAtClose) {
    proxy.AddRule(FaultRule{"PUT", "partNumber=1(&|$)", 1, 1, FaultAction::Status});
    host.log.Clear();
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("lost-part.bak"), FileAccessMode::Write, handle), Success);
    EXPECT_EQ(Write(*instance, handle, 12, kUnit + 1, kUnit + 1), Failure);
    EXPECT_EQ(host.log.Texts().at(0), "Cannot upload part.");
    EXPECT_EQ(Write(*instance, handle, 12, 10, 10, kUnit + 1), Failure);
    EXPECT_EQ(Of("lost-part.bak", IsPart).size(), 1u);

    EXPECT_EQ(instance->CloseFile(handle), Failure);
    EXPECT_TRUE(Of("lost-part.bak", IsComplete).empty());
    EXPECT_EQ(Of("lost-part.bak", IsAbort).size(), 1u);
    ExpectNothingStored("lost-part.bak");
}

TEST_F(Transfer, LostPartWhoseAbortFailsIsReportedAndFailsTheClose) {
    proxy.AddRule(FaultRule{"PUT", "partNumber=", 1, 1, FaultAction::Status});
    proxy.AddRule(FaultRule{"DELETE", "uploadId=", 1, 1, FaultAction::Status});
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("stuck.bak"), FileAccessMode::Write, handle), Success);
    EXPECT_EQ(Write(*instance, handle, 13, kUnit + 1, kUnit + 1), Failure);
    host.log.Clear();
    EXPECT_EQ(instance->CloseFile(handle), Failure);
    EXPECT_EQ(host.log.Texts().at(0), "Multipart upload failed and cannot be canceled.");
    EXPECT_FALSE(admin.GetObject(bucket, "stuck.bak").has_value());
    // The upload the service still holds is the one whose abort was refused.
    EXPECT_EQ(admin.ListMultipartUploads(bucket), std::vector<std::string>{"stuck.bak"});
    const auto aborts = Of("stuck.bak", IsAbort);
    ASSERT_EQ(aborts.size(), 1u);
    EXPECT_EQ(admin.Request("DELETE", aborts[0].target).status, 204);
}

TEST_F(Transfer, FailedCompletionIsAbortedAndReported) {
    proxy.AddRule(FaultRule{"POST", "uploadId=", 1, 1, FaultAction::Status});
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("no-finish.bak"), FileAccessMode::Write, handle), Success);
    ASSERT_EQ(Write(*instance, handle, 14, kUnit + 1, kUnit + 1), Success);
    host.log.Clear();
    EXPECT_EQ(instance->CloseFile(handle), Failure);
    const auto texts = host.log.Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Cannot complete the multipart upload.");
    EXPECT_EQ(texts[1].rfind("ErrorType: ", 0), 0u);
    EXPECT_EQ(Of("no-finish.bak", IsAbort).size(), 1u);
    ExpectNothingStored("no-finish.bak");
    CFileAttributes attributes;
    EXPECT_NE(instance->GetElementAttributes(Path("no-finish.bak"), attributes), Success);
}

// A completion the service carried out while the client heard nothing of it is taken from the
// stored object, with the multipart ETag of the parts sent and every byte written: an answer
// lost on the way (the retry then finds no such upload), and a completion that outlasts the
// client's timeout, the service joining the parts in silence, which is waited for.
TEST_F(Transfer, ACompletionTheClientDidNotHearOfIsTakenFromTheStoredObject) {
    const struct {
        const char* key;
        FaultRule rule;
    } cases[] = {
        {"answered.bak", FaultRule{"POST", "uploadId=", 1, 1, FaultAction::Truncate}},
        // libcurl reckons the low speed over its last few seconds, so a request whose body has
        // just gone out is given up several seconds after the 3 (an answer after 8 s still
        // came in time here): the service answers after 12.
        {"slow.bak",
         FaultRule{"POST", "uploadId=", 1, 1, FaultAction::Delay, 500, "", "", 0, 12000}},
    };
    std::uint64_t seed = 16;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        proxy.AddRule(c.rule);
        unsigned int handle = 0;
        ASSERT_EQ(instance->OpenFile(Path(c.key), FileAccessMode::Write, handle), Success);
        ASSERT_EQ(Write(*instance, handle, seed, kUnit + 10, kUnit + 1), Success);
        EXPECT_EQ(instance->CloseFile(handle), Success) << testing::PrintToString(host.log.Texts());
        EXPECT_TRUE(Of(c.key, IsAbort).empty());
        ExpectStored(c.key, seed, kUnit + 10);
        // Stored as a single upload would be: as data, not as the multipart start's XML.
        const auto head = admin.Request("HEAD", testhost::S3Admin::ObjectTarget(bucket, c.key));
        EXPECT_EQ(head.headers.at("content-type"), "binary/octet-stream");
        ++seed;
    }
}

// An older object under the key is not taken for the one this upload would have made.
TEST_F(Transfer, AFailedCompletionIsNotTakenForAnOlderObjectUnderTheKey) {
    admin.PutObject(bucket, "older.bak", "an older version");
    proxy.AddRule(FaultRule{"POST", "uploadId=", 1, -1, FaultAction::Status});
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("older.bak"), FileAccessMode::Write, handle), Success);
    ASSERT_EQ(Write(*instance, handle, 17, kUnit + 1, kUnit + 1), Success);
    EXPECT_EQ(instance->CloseFile(handle), Failure);
    EXPECT_EQ(Of("older.bak", IsAbort).size(), 1u);
    EXPECT_EQ(admin.GetObject(bucket, "older.bak"), std::optional<std::string>("an older version"));
    EXPECT_TRUE(admin.ListMultipartUploads(bucket).empty());
}

TEST_F(Transfer, CompletionAndAbortBothFailing) {
    proxy.AddRule(FaultRule{"POST", "uploadId=", 1, 1, FaultAction::Status});
    proxy.AddRule(FaultRule{"DELETE", "uploadId=", 1, 1, FaultAction::Status, 503, "SlowDown",
                            "Reduce your request rate."});
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("held.bak"), FileAccessMode::Write, handle), Success);
    ASSERT_EQ(Write(*instance, handle, 15, kUnit + 1, kUnit + 1), Success);
    host.log.Clear();
    EXPECT_EQ(instance->CloseFile(handle), Failure);
    const auto texts = host.log.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0], "Multipart upload failed and cannot be canceled.");
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                            [](const std::string& t) { return t.rfind("ErrorType: ", 0) == 0; }),
              2);
    EXPECT_TRUE(host.log.Contains("ExceptionName: InternalError"));
    EXPECT_TRUE(host.log.Contains("ExceptionName: SlowDown"));
    EXPECT_FALSE(admin.GetObject(bucket, "held.bak").has_value());
    const auto aborts = Of("held.bak", IsAbort);
    ASSERT_EQ(aborts.size(), 1u);
    EXPECT_EQ(admin.Request("DELETE", aborts[0].target).status, 204);
    EXPECT_TRUE(admin.ListMultipartUploads(bucket).empty());
}

// ---- The same failures in the deliverables that report on standard error ----

class TransferOtherProfiles : public TransferBase {};

TEST_F(TransferOtherProfiles, FailedLastPartAtCloseIsAbortedAndToldOnStandardError) {
    Host host("Ruvast", proxy.Url());
    Instance instance = host.Open();
    proxy.AddRule(FaultRule{"PUT", "partNumber=2", 1, 1, FaultAction::Status});
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("last.bak"), FileAccessMode::Write, handle), Success);
    ASSERT_EQ(Write(*instance, handle, 16, kUnit + 1, kUnit + 1), Success);
    ASSERT_EQ(Write(*instance, handle, 16, 10, 10, kUnit + 1), Success);
    StderrCapture capture;
    EXPECT_EQ(instance->CloseFile(handle), Failure);
    EXPECT_EQ(capture.Stop(), "Can't upload part");
    EXPECT_TRUE(host.log.Lines().empty());
    EXPECT_EQ(Of("last.bak", IsPart).size(), 2u);
    EXPECT_TRUE(Of("last.bak", IsComplete).empty());
    EXPECT_EQ(Of("last.bak", IsAbort).size(), 1u);
    ExpectNothingStored("last.bak");
}

TEST_F(TransferOtherProfiles, CompletionAnswered200WithAnErrorIsAFailedCompletion) {
    Host host("Golmer", proxy.Url());
    Instance instance = host.Open();
    proxy.AddRule(FaultRule{"POST", "uploadId=", 1, 1, FaultAction::Error200});
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Path("error200.bak"), FileAccessMode::Write, handle), Success);
    ASSERT_EQ(Write(*instance, handle, 17, kUnit + 1, kUnit + 1), Success);
    StderrCapture capture;
    EXPECT_EQ(instance->CloseFile(handle), Failure);
    EXPECT_EQ(capture.Stop(), "Can't complete Multipart Upload");
    EXPECT_TRUE(host.log.Lines().empty());
    EXPECT_EQ(Of("error200.bak", IsAbort).size(), 1u);
    ExpectNothingStored("error200.bak");
}

// Small transfers through every deliverable, and how each reports a failed upload and a
// failed download.
class TransferEveryProfile : public TransferBase, public testing::WithParamInterface<const char*> {
  protected:
    TransferEveryProfile()
        : TransferBase(std::string(GetParam()) == "PennatLoopback" ? testhost::FixedEndpointPort()
                                                                   : 0) {}

    bool ReportsToLog() const {
        const std::string name = GetParam();
        return name == "Mardel" || name == "PennatLoopback";
    }
};

TEST_P(TransferEveryProfile, RoundTripAndFailureReports) {
    Host host(GetParam(), proxy.Url());
    Instance instance = host.Open();
    ASSERT_EQ(WriteFile(*instance, "dir/small.bak", 18, 300000, 65536), Success);
    ExpectStored("dir/small.bak", 18, 300000);
    unsigned int handle = 0;
    ASSERT_EQ(instance->OpenFile(Wide(bucket + "/dir/small.bak"), FileAccessMode::Read, handle),
              Success);
    auto read = ReadToEnd(*instance, handle, 100000);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->first, ContentHash(18, 300000));
    EXPECT_EQ(RangesOf("dir/small.bak"), std::vector<std::string>{"bytes=0-300000"});
    EXPECT_EQ(instance->CloseFile(handle), Success);
    host.log.Clear();

    // A failed single upload.
    proxy.AddRule(FaultRule{"PUT", "^/" + bucket + "/dir/lost\\.bak$", 1, 1, FaultAction::Status});
    {
        StderrCapture capture;
        EXPECT_EQ(WriteFile(*instance, "dir/lost.bak", 19, 100, 100), Failure);
        const std::string told = capture.Stop();
        if (ReportsToLog()) {
            EXPECT_EQ(told, "");
            ASSERT_FALSE(host.log.Texts().empty());
            EXPECT_EQ(host.log.Texts()[0].rfind("ErrorType: ", 0), 0u);
        } else {
            EXPECT_EQ(told, "Error occured during file upload");
            EXPECT_TRUE(host.log.Lines().empty());
        }
    }
    ExpectNothingStored("dir/lost.bak");
    host.log.Clear();

    // A failed download.
    proxy.AddRule(FaultRule{"GET", "^/" + bucket + "/dir/small\\.bak$", 1, 1, FaultAction::Status});
    ASSERT_EQ(instance->OpenFile(Wide(bucket + "/dir/small.bak"), FileAccessMode::Read, handle),
              Success);
    {
        StderrCapture capture;
        unsigned char destination[64];
        unsigned int length = sizeof destination;
        EXPECT_EQ(instance->ReadFile(destination, length, handle), Failure);
        EXPECT_EQ(length, sizeof destination);
        EXPECT_EQ(capture.Stop(), "");
        if (ReportsToLog()) {
            ASSERT_GE(host.log.Texts().size(), 2u);
            EXPECT_EQ(host.log.Texts()[0], "Cannot download part");
            EXPECT_TRUE(host.log.Contains("ExceptionName: InternalError"));
        } else {
            EXPECT_TRUE(host.log.Lines().empty());
        }
    }
    read = ReadToEnd(*instance, handle, 1 << 20);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->first, ContentHash(18, 300000));
    EXPECT_EQ(instance->CloseFile(handle), Success);
}

INSTANTIATE_TEST_SUITE_P(Deliverables, TransferEveryProfile,
                         testing::Values("Tresko", "Mardel", "PennatLoopback", "Ruvast", "Golmer"));

}  // namespace
