// What reaches the wire, against two servers: moto_server, which forgives much, and Ceph's RADOS
// Gateway, which checks every signature and refuses what real services refuse. Each cell of the
// table is one server, one scheme (HTTP, HTTPS) and one deliverable; each test runs in every
// cell, in a bucket of its own, and checks what the server stored with raw signed requests of
// the test host, independent of the S3 client under test. The gateway is the one that
// scripts/test.sh starts for the whole run (tests/harness/rgw.sh).
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testhost/Testhost.h"
#include "torvik/Strings.h"

namespace {

using testhost::HostedStorage;
using testhost::MotoServer;
using testhost::RgwServer;
using testhost::S3Admin;
using testhost::ScopedEnv;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kUnit = 104857600;  // the plug-ins' upload threshold and part size

std::wstring Wide(const std::string& text) { return Torvik::strings::UTF8toWstr(text); }
std::string Narrow(const std::wstring& text) { return Torvik::strings::WstrToUTF8(text); }

// ---- File contents ----
// Every 1 MiB block of a file is a slice of one random 2 MiB pattern, starting at an offset
// that depends on the file's seed and the block's number: blocks differ from each other and
// between files, and any stretch of a file is copied or compared at memory speed, which
// matters under the sanitizers with hundreds of MiB per cell.

const std::vector<char>& Pattern() {
    static const std::vector<char> pattern = [] {
        std::vector<char> bytes(2 * kMiB);
        std::uint64_t x = 0x9E3779B97F4A7C15ull;
        for (std::size_t i = 0; i < bytes.size(); i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            std::memcpy(&bytes[i], &x, 8);
        }
        return bytes;
    }();
    return pattern;
}

// Calls `piece(offset, data, length)` for the stretch [offset, offset + length) of file `seed`,
// in pieces that do not cross a block.
template <class Piece>
void ForEachPiece(std::uint64_t seed, std::uint64_t offset, std::uint64_t length, Piece piece) {
    const char* pattern = Pattern().data();
    while (length > 0) {
        const std::uint64_t block = offset / kMiB;
        const std::uint64_t within = offset % kMiB;
        const std::uint64_t start = (block * 4099 + seed * 131071) % kMiB;
        const std::uint64_t take = std::min(length, kMiB - within);
        piece(offset, pattern + start + within, take);
        offset += take;
        length -= take;
    }
}

void Fill(std::uint64_t seed, std::uint64_t offset, char* out, std::uint64_t length) {
    ForEachPiece(seed, offset, length, [&](std::uint64_t at, const char* data, std::uint64_t n) {
        std::memcpy(out + (at - offset), data, n);
    });
}

// The offset of the first byte of `data` that differs from file `seed` at `offset`, or -1.
long long FirstDifference(std::uint64_t seed, std::uint64_t offset, const char* data,
                          std::uint64_t length) {
    long long found = -1;
    ForEachPiece(seed, offset, length,
                 [&](std::uint64_t at, const char* expected, std::uint64_t n) {
                     if (found >= 0 || std::memcmp(data + (at - offset), expected, n) == 0) return;
                     for (std::uint64_t i = 0;; ++i) {
                         if (data[at - offset + i] != expected[i]) {
                             found = static_cast<long long>(at + i);
                             return;
                         }
                     }
                 });
    return found;
}

std::string Hex(const unsigned char* bytes, std::size_t length) {
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0xF]);
    }
    return text;
}

// MD5 of the stretch of file `seed`, binary.
std::string Md5(std::uint64_t seed, std::uint64_t offset, std::uint64_t length) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr);
    ForEachPiece(seed, offset, length, [&](std::uint64_t, const char* data, std::uint64_t n) {
        EVP_DigestUpdate(context.get(), data, n);
    });
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context.get(), digest, &size);
    return std::string(reinterpret_cast<char*>(digest), size);
}

// The ETag an S3 server gives the object: the MD5 of the content for a single upload; for a
// multipart upload, the MD5 of the parts' binary MD5s, a dash and the number of parts.
std::string ExpectedETag(std::uint64_t seed, const std::vector<std::uint64_t>& parts) {
    if (parts.size() == 1) {
        const std::string md5 = Md5(seed, 0, parts[0]);
        return Hex(reinterpret_cast<const unsigned char*>(md5.data()), md5.size());
    }
    std::string md5s;
    std::uint64_t offset = 0;
    for (const std::uint64_t part : parts) {
        md5s += Md5(seed, offset, part);
        offset += part;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(md5s.data(), md5s.size(), digest, &size, EVP_md5(), nullptr);
    return Hex(digest, size) + "-" + std::to_string(parts.size());
}

// ---- The table ----

enum class Server { Moto, Rgw };
enum class Scheme { Http, Https };

struct Cell {
    Server server;
    Scheme scheme;
    std::string deliverable;  // "Pennat" stands for its loopback build of the scheme
};

// Every cell, or those `keep` selects.
std::vector<Cell> Cells(bool (*keep)(const Cell&) = nullptr) {
    std::vector<Cell> cells;
    for (const Server server : {Server::Moto, Server::Rgw}) {
        for (const Scheme scheme : {Scheme::Http, Scheme::Https}) {
            for (const char* deliverable : {"Mardel", "Ruvast", "Golmer", "Tresko", "Pennat"}) {
                const Cell cell{server, scheme, deliverable};
                if (keep == nullptr || keep(cell)) cells.push_back(cell);
            }
        }
    }
    return cells;
}

std::string CellName(const Cell& cell) {
    return std::string(cell.server == Server::Moto ? "Moto" : "Rgw") +
           (cell.scheme == Scheme::Http ? "Http" : "Https") + "_" + cell.deliverable;
}

// For the failure messages, in place of the bytes of the parameters.
void PrintTo(const Cell& cell, std::ostream* out) { *out << CellName(cell); }

// One fixed secret for moto, which checks none: slash and plus as real secrets have them.
const char* kMotoAccessKey = "AKIDWIREMOTO00000001";
const char* kMotoSecretKey = "moto/Wire+Secret0123456789abcdefghijKLMN";

// The server a cell talks to.
struct Endpoint {
    std::string url;
    std::string caFile;
    std::string accessKey;
    std::string secretKey;

    int Port() const { return std::stoi(url.substr(url.rfind(':') + 1)); }
};

// A CA that signed neither server's certificate, made once per process.
class StrangerCa {
  public:
    static const std::string& File() {
        static const StrangerCa ca;
        return ca.file;
    }

  private:
    StrangerCa() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "wire-stranger-ca-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        folder = pattern;
        file = folder + "/ca.pem";
        const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -keyout '" + folder +
                                    "/ca.key' -out '" + file +
                                    "' -days 2 -subj '/CN=stranger CA' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl failed");
    }
    ~StrangerCa() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    std::string folder;
    std::string file;
};

class Wire : public testing::Test {
  protected:
    void Start(const Cell& cell, const std::string& stem) {
        if (cell.server == Server::Rgw) {
            std::string why;
            const std::optional<RgwServer> rgw = RgwServer::FromEnvironment(&why);
            if (!rgw) {
                if (RgwServer::OptedOut()) GTEST_SKIP() << "RGW_TEST_OPT_OUT=1: " << why;
                FAIL() << why;
            }
            https = cell.scheme == Scheme::Https;
            endpoint = {https ? rgw->httpsUrl : rgw->httpUrl, https ? rgw->caFile : "",
                        rgw->accessKey, rgw->secretKey};
        } else {
            https = cell.scheme == Scheme::Https;
            const MotoServer& moto = https ? MotoServer::SharedTls() : MotoServer::Shared();
            endpoint = {moto.Url(), moto.CaFile(), kMotoAccessKey, kMotoSecretKey};
        }
        deliverable = cell.deliverable;
        if (deliverable == "Pennat") {
            // Its endpoint is built in: a relay on that port passes everything to the server.
            deliverable = https ? "PennatLoopbackTls" : "PennatLoopback";
            relay = std::make_unique<testhost::TcpRelay>(
                https ? testhost::FixedEndpointTlsPort() : testhost::FixedEndpointPort(),
                endpoint.Port());
        }
        caBundle.emplace("AWS_CA_BUNDLE",
                         https ? std::optional<std::string>(endpoint.caFile) : std::nullopt);
        admin = std::make_unique<S3Admin>(endpoint.url, endpoint.caFile, endpoint.accessKey,
                                          endpoint.secretKey);
        bucket = admin->UniqueBucketName(stem);
        admin->CreateBucket(bucket);
        created = true;
        storage = Storage(endpoint.secretKey);
    }

    void TearDown() override {
        storage.reset();
        if (created) {
            try {
                admin->DeleteBucketAndContents(bucket);
            } catch (const std::exception& e) {
                ADD_FAILURE() << "cannot clean up " << bucket << ": " << e.what();
            }
        }
    }

    // A new instance in place of `storage`, which goes first: it restores the endpoint
    // settings it changed, and the new one must find its own in force.
    void Reopen() {
        storage.reset();
        storage = Storage(endpoint.secretKey);
    }

    // An instance of the cell's deliverable with the cell's access key and `secretKey`.
    std::unique_ptr<HostedStorage> Storage(const std::string& secretKey) {
        auto hosted = std::make_unique<HostedStorage>(deliverable, endpoint.url, endpoint.accessKey,
                                                      secretKey);
        hosted->Open();
        return hosted;
    }

    // What the instance logged, but for the notice of the regional deliverable that a bucket
    // has no location constraint, which is how both servers answer for their default region.
    static std::vector<std::string> Complaints(const HostedStorage& hosted) {
        std::vector<std::string> texts;
        for (const std::string& text : hosted.log.Texts()) {
            if (text.rfind("The bucket constraint location is NOT_SET: ", 0) != 0) {
                texts.push_back(text);
            }
        }
        return texts;
    }

    std::wstring Path(const std::string& key) const { return Wide(bucket + "\\" + key); }

    // Writes `size` bytes of file `seed` in blocks of `block` bytes; the first result other
    // than Success, from the open, a write or the close.
    ResultCode WriteFile(HostedStorage& hosted, const std::string& key, std::uint64_t seed,
                         std::uint64_t size, std::uint64_t block) {
        unsigned int handle = 0;
        const ResultCode opened = hosted->OpenFile(Path(key), FileAccessMode::Write, handle);
        if (opened != Success) return opened;
        std::vector<char> data(
            static_cast<std::size_t>(std::min(block, std::max<std::uint64_t>(size, 1))));
        ResultCode written = Success;
        for (std::uint64_t at = 0; at < size && written == Success; at += block) {
            const std::uint64_t length = std::min(block, size - at);
            Fill(seed, at, data.data(), length);
            unsigned int passed = static_cast<unsigned int>(length);
            written = hosted->WriteFile(reinterpret_cast<const unsigned char*>(data.data()), passed,
                                        handle);
        }
        const ResultCode closed = hosted->CloseFile(handle);
        return written != Success ? written : closed;
    }

    // Reads `key` to its end in reads of `capacity` bytes and compares every byte with file
    // `seed` of `size` bytes.
    void ExpectReadsBack(HostedStorage& hosted, const std::string& key, std::uint64_t seed,
                         std::uint64_t size, std::uint64_t capacity) {
        unsigned int handle = 0;
        ASSERT_EQ(hosted->OpenFile(Path(key), FileAccessMode::Read, handle), Success) << key;
        std::vector<char> buffer(capacity);
        std::uint64_t total = 0;
        for (;;) {
            unsigned int length = static_cast<unsigned int>(capacity);
            const ResultCode result =
                hosted->ReadFile(reinterpret_cast<unsigned char*>(buffer.data()), length, handle);
            if (result == EndOfData) break;
            ASSERT_EQ(result, Success) << key << " at " << total;
            ASSERT_LE(total + length, size) << key << ": more bytes than were written";
            const long long differs = FirstDifference(seed, total, buffer.data(), length);
            ASSERT_EQ(differs, -1) << key << ": the restore differs from byte " << differs;
            total += length;
        }
        EXPECT_EQ(total, size) << key;
        EXPECT_EQ(hosted->CloseFile(handle), Success) << key;
    }

    std::vector<std::string> Listing(HostedStorage& hosted, const std::string& folder,
                                     ResultCode expected = Success) {
        std::list<CFileInfo> entries;
        EXPECT_EQ(hosted->GetListing(folder.empty() ? Wide(bucket) : Path(folder), entries),
                  expected)
            << folder;
        std::vector<std::string> names;
        for (const CFileInfo& entry : entries) names.push_back(Narrow(entry.name));
        std::sort(names.begin(), names.end());
        return names;
    }

    bool https = false;
    Endpoint endpoint;
    std::string deliverable;
    std::string bucket;
    bool created = false;
    // Retries are not the subject here; a few keep a loaded machine from failing a cell.
    ScopedEnv retryMode{"AWS_RETRY_MODE", "standard"};
    ScopedEnv attempts{"AWS_MAX_ATTEMPTS", "3"};
    std::optional<ScopedEnv> caBundle;
    std::unique_ptr<testhost::TcpRelay> relay;
    std::unique_ptr<S3Admin> admin;
    std::unique_ptr<HostedStorage> storage;
};

class EveryCell : public Wire, public testing::WithParamInterface<Cell> {
  protected:
    void SetUp() override { Start(GetParam(), "wire-" + GetParam().deliverable); }
};

// ---- Transfers of every size class ----

struct SizeClass {
    const char* name;
    std::uint64_t seed;
    std::uint64_t size;
    std::uint64_t block;               // the host's write size
    std::vector<std::uint64_t> parts;  // as the server must have stored it
};

void PrintTo(const SizeClass& sizeClass, std::ostream* out) { *out << sizeClass.name; }

const std::vector<SizeClass>& SizeClasses() {
    static const std::vector<SizeClass> classes = {
        {"Empty", 1, 0, 1, {0}},
        {"FewBytes", 2, 5, 5, {5}},
        // Past the size from which a body is sent after "100 Continue".
        {"JustOver1MiB", 3, kMiB + 1, 65536, {kMiB + 1}},
        // The largest file sent in one PutObject.
        {"OneTransferUnit", 4, kUnit, kMiB, {kUnit}},
        // A part is the whole blocks it takes to pass one unit: 101 MiB, then the rest.
        {"TwoParts", 5, 102 * kMiB + 3, kMiB, {101 * kMiB, kMiB + 3}},
    };
    return classes;
}

class Transfer : public Wire, public testing::WithParamInterface<std::tuple<Cell, SizeClass>> {
  protected:
    void SetUp() override { Start(std::get<0>(GetParam()), "wire-transfer"); }
};

TEST_P(Transfer, RoundTripsByteForByte) {
    const SizeClass& sizeClass = std::get<1>(GetParam());
    const std::uint64_t seed = sizeClass.seed;
    const std::string key = "round trip/" + std::string(sizeClass.name) + ".bak";
    ASSERT_EQ(WriteFile(*storage, key, seed, sizeClass.size, sizeClass.block), Success)
        << ::testing::PrintToString(storage->log.Texts());

    // What the server holds, seen past the client under test.
    const S3Admin::Response head = admin->Request("HEAD", S3Admin::ObjectTarget(bucket, key));
    ASSERT_EQ(head.status, 200);
    EXPECT_EQ(head.headers.at("content-length"), std::to_string(sizeClass.size));
    EXPECT_EQ(head.headers.at("etag"), "\"" + ExpectedETag(seed, sizeClass.parts) + "\"");
    EXPECT_TRUE(admin->ListMultipartUploads(bucket).empty());

    // Restored by an instance of its own, in reads that do not line up with the blocks.
    Reopen();
    ExpectReadsBack(*storage, key, seed, sizeClass.size, kMiB + 13);
    CFileAttributes attributes;
    ASSERT_EQ((*storage)->GetElementAttributes(Path(key), attributes), Success);
    EXPECT_EQ(attributes.size, sizeClass.size);
    EXPECT_EQ(Complaints(*storage), std::vector<std::string>{});
}

// ---- Listing, names, folders ----

// Deleting a thousand objects one by one takes seconds a cell. The listing code is the same in
// every deliverable; what differs is the client that sends the requests, which the strict
// server's cells exercise for all of them; moto's paging is checked with one deliverable.
class PagingCell : public EveryCell {};

TEST_P(PagingCell, AFolderOfMoreThanOnePageIsListedWholeAndDeleted) {
    constexpr int kFiles = 1005;
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) names.push_back("f" + std::to_string(100000 + i) + ".bak");
    // Set up past the client under test, four requests at a time.
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([&, w] {
            S3Admin own(endpoint.url, endpoint.caFile, endpoint.accessKey, endpoint.secretKey);
            for (int i = w; i < kFiles; i += 4) own.PutObject(bucket, "many/" + names[i], "x");
        });
    }
    for (std::thread& writer : writers) writer.join();
    admin->PutObject(bucket, "many-beside/keep.bak", "kept");

    EXPECT_EQ(Listing(*storage, "many"), names);
    ASSERT_EQ((*storage)->DeleteFolder(Path("many")), Success)
        << ::testing::PrintToString(storage->log.Texts());
    EXPECT_TRUE(admin->ListKeys(bucket, "many/").empty());
    EXPECT_EQ(admin->ListKeys(bucket), std::vector<std::string>{"many-beside/keep.bak"});
    EXPECT_EQ(Listing(*storage, ""), std::vector<std::string>{"many-beside"});
}

// Names that need encoding in a path, or that a signature, a listing or an XML parser can get
// wrong.
const std::vector<std::string> kAwkwardNames = {
    "with space.bak",
    "plus+sign.bak",
    "per%cent.bak",
    "per%25cent.bak",
    "amp&and.bak",
    "a&amp;b.bak",
    "eq=ual.bak",
    "sub-delims!$'()*,;:@.bak",
    "question?mark.bak",
    "hash#mark.bak",
    "tilde~caret^.bak",
    "\xc3\xbc"
    "ml\xc3\xa4ut \xc3\xa9.bak",
    "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.bak",
    "emoji \xf0\x9f\x98\x80.bak",
};

TEST_P(EveryCell, AwkwardNamesRoundTripUnderTheirOwnKeys) {
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < kAwkwardNames.size(); ++i) {
        const std::string key = "odd dir+/" + kAwkwardNames[i];
        ASSERT_EQ(storage->Write(Path(key), "content of " + kAwkwardNames[i]), Success)
            << key << " " << ::testing::PrintToString(storage->log.Texts());
        keys.push_back(key);
    }
    std::vector<std::string> stored = admin->ListKeys(bucket, "odd dir+/");
    std::sort(stored.begin(), stored.end());
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(stored, keys);
    std::vector<std::string> names = kAwkwardNames;
    std::sort(names.begin(), names.end());

    Reopen();
    EXPECT_EQ(Listing(*storage, "odd dir+"), names);
    for (const std::string& name : kAwkwardNames) {
        EXPECT_EQ(storage->Read(Path("odd dir+/" + name)),
                  std::optional<std::string>("content of " + name))
            << name;
        EXPECT_EQ(admin->GetObject(bucket, "odd dir+/" + name),
                  std::optional<std::string>("content of " + name))
            << name;
        EXPECT_EQ((*storage)->DeleteFile(Path("odd dir+/" + name)), Success) << name;
    }
    EXPECT_TRUE(admin->ListKeys(bucket).empty())
        << ::testing::PrintToString(admin->ListKeys(bucket));
}

TEST_P(EveryCell, FoldersAreCreatedAndDeletedWithWhatTheyHold) {
    ASSERT_EQ((*storage)->CreateFolder(Path("2024\\daily run")), Success)
        << ::testing::PrintToString(storage->log.Texts());
    EXPECT_EQ(admin->GetObject(bucket, "2024/daily run/"), std::optional<std::string>(""));
    ASSERT_EQ(storage->Write(Path("2024\\daily run\\full.bak"), "full"), Success);
    ASSERT_EQ(storage->Write(Path("2024x.bak"), "beside"), Success);

    Reopen();
    EXPECT_EQ(Listing(*storage, ""), (std::vector<std::string>{"2024", "2024x.bak"}));
    EXPECT_EQ(Listing(*storage, "2024"), std::vector<std::string>{"daily run"});
    CFileAttributes attributes;
    ASSERT_EQ((*storage)->GetElementAttributes(Path("2024\\daily run"), attributes), Success);
    EXPECT_TRUE(attributes.IsDirectory());

    ASSERT_EQ((*storage)->DeleteFolder(Path("2024")), Success)
        << ::testing::PrintToString(storage->log.Texts());
    EXPECT_EQ(admin->ListKeys(bucket), std::vector<std::string>{"2024x.bak"});
    EXPECT_EQ(Listing(*storage, ""), std::vector<std::string>{"2024x.bak"});
}

// ---- Failures that need no proxy ----

TEST_P(EveryCell, ABucketThatDoesNotExistFailsEveryOperation) {
    const std::string missing = admin->UniqueBucketName("wire-missing");
    std::list<CFileInfo> entries;
    EXPECT_NE((*storage)->GetListing(Wide(missing), entries), Success);
    EXPECT_TRUE(entries.empty());
    EXPECT_NE(storage->Write(Wide(missing + "\\file.bak"), "lost"), Success);
    EXPECT_NE((*storage)->CreateFolder(Wide(missing + "\\folder")), Success);
    EXPECT_EQ(storage->Read(Wide(missing + "\\file.bak")), std::nullopt);
    EXPECT_FALSE(admin->BucketExists(missing));
}

TEST_P(EveryCell, AFileThatDoesNotExistCannotBeRead) {
    ASSERT_EQ(storage->Write(Path("here.bak"), "here"), Success);
    Reopen();
    EXPECT_EQ(storage->Read(Path("not-here.bak")), std::nullopt);
    CFileAttributes attributes;
    EXPECT_EQ((*storage)->GetElementAttributes(Path("not-here.bak"), attributes), NotFound);
    EXPECT_EQ(storage->Read(Path("here.bak")), std::optional<std::string>("here"));
}

INSTANTIATE_TEST_SUITE_P(Cells, EveryCell, testing::ValuesIn(Cells()),
                         [](const auto& info) { return CellName(info.param); });

INSTANTIATE_TEST_SUITE_P(
    Cells, Transfer, testing::Combine(testing::ValuesIn(Cells()), testing::ValuesIn(SizeClasses())),
    [](const auto& info) {
        return CellName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
    });

INSTANTIATE_TEST_SUITE_P(Cells, PagingCell, testing::ValuesIn(Cells([](const Cell& cell) {
                             return cell.server == Server::Rgw || cell.deliverable == "Mardel";
                         })),
                         [](const auto& info) { return CellName(info.param); });

// ---- Signatures: only the gateway checks them (moto takes any), so these cells are its own ----

class SignatureCell : public EveryCell {};

TEST_P(SignatureCell, AWrongSecretKeyIsRefusedAndStoresNothing) {
    std::unique_ptr<HostedStorage> wrong = Storage(endpoint.secretKey + "x");
    std::list<CFileInfo> entries;
    EXPECT_NE((*wrong)->GetListing(Wide(bucket), entries), Success);
    EXPECT_NE(wrong->Write(Path("refused.bak"), "refused"), Success);
    EXPECT_NE((*wrong)->CreateFolder(Path("refused")), Success);
    EXPECT_TRUE(admin->ListKeys(bucket).empty())
        << ::testing::PrintToString(admin->ListKeys(bucket));
    // The same with the right key goes through.
    EXPECT_EQ(storage->Write(Path("refused.bak"), "accepted"), Success);
    EXPECT_EQ(admin->GetObject(bucket, "refused.bak"), std::optional<std::string>("accepted"));
}

INSTANTIATE_TEST_SUITE_P(RgwCells, SignatureCell, testing::ValuesIn(Cells([](const Cell& cell) {
                             return cell.server == Server::Rgw;
                         })),
                         [](const auto& info) { return CellName(info.param); });

// ---- TLS: a certificate is trusted only when its CA is given ----

class TlsCell : public EveryCell {};

TEST_P(TlsCell, ACertificateFromACaNotGivenIsRefused) {
    // Certificate failures are no subject for retries.
    ScopedEnv once("AWS_MAX_ATTEMPTS", "1");
    for (const std::optional<std::string>& bundle :
         {std::optional<std::string>(), std::optional<std::string>(StrangerCa::File())}) {
        const std::string what = bundle ? "a CA that did not sign it" : "the system's CAs";
        ScopedEnv ca("AWS_CA_BUNDLE", bundle);
        std::unique_ptr<HostedStorage> untrusting = Storage(endpoint.secretKey);
        std::list<CFileInfo> entries;
        EXPECT_NE((*untrusting)->GetListing(Wide(bucket), entries), Success) << what;
        EXPECT_NE(untrusting->Write(Path("untrusted.bak"), "untrusted"), Success) << what;
        EXPECT_TRUE(admin->ListKeys(bucket).empty()) << what;
    }
    // With its CA, the same server is trusted.
    std::unique_ptr<HostedStorage> trusting = Storage(endpoint.secretKey);
    EXPECT_EQ(trusting->Write(Path("trusted.bak"), "trusted"), Success)
        << ::testing::PrintToString(trusting->log.Texts());
    EXPECT_EQ(admin->GetObject(bucket, "trusted.bak"), std::optional<std::string>("trusted"));
}

INSTANTIATE_TEST_SUITE_P(HttpsCells, TlsCell, testing::ValuesIn(Cells([](const Cell& cell) {
                             return cell.scheme == Scheme::Https;
                         })),
                         [](const auto& info) { return CellName(info.param); });

// ---- The test host's own pieces for the gateway ----

// The signing of the raw access is what lets the tests above set up and check on the gateway.
TEST(WireHarness, TheGatewayTakesTheSignedRawAccessAndRefusesAWrongSecret) {
    std::string why;
    const std::optional<RgwServer> rgw = RgwServer::FromEnvironment(&why);
    if (!rgw) {
        if (RgwServer::OptedOut()) GTEST_SKIP() << "RGW_TEST_OPT_OUT=1: " << why;
        FAIL() << why;
    }
    for (const bool tls : {false, true}) {
        S3Admin admin = rgw->Admin(tls);
        const std::string bucket = admin.UniqueBucketName("wire-harness");
        admin.CreateBucket(bucket);
        const std::string key = "a dir/k+e=y&%\xc3\xbc.bin";
        admin.PutObject(bucket, key, std::string(3 * kMiB, 'x'));
        admin.PutObject(bucket, "a dir/second", "2");
        EXPECT_EQ(admin.ObjectSize(bucket, key), std::optional<long long>(3 * kMiB));
        // Several query parameters, out of order as written, and a bare "?uploads".
        EXPECT_EQ(admin.ListKeys(bucket, "a dir/"),
                  (std::vector<std::string>{key, "a dir/second"}));
        const S3Admin::Response started =
            admin.Request("POST", S3Admin::ObjectTarget(bucket, "open") + "?uploads");
        ASSERT_EQ(started.status, 200) << started.body;
        EXPECT_EQ(admin.ListMultipartUploads(bucket), std::vector<std::string>{"open"});

        S3Admin wrong(tls ? rgw->httpsUrl : rgw->httpUrl, tls ? rgw->caFile : "", rgw->accessKey,
                      rgw->secretKey + "x");
        const S3Admin::Response refused = wrong.Request("GET", "/" + bucket + "?list-type=2");
        EXPECT_EQ(refused.status, 403);
        EXPECT_NE(refused.body.find("SignatureDoesNotMatch"), std::string::npos) << refused.body;

        admin.DeleteBucketAndContents(bucket);
        EXPECT_FALSE(admin.BucketExists(bucket));
    }
}

TEST(WireHarness, MissingGatewayVariablesAreNamed) {
    ScopedEnv http("RGW_TEST_HTTP_URL", "http://127.0.0.1:1");
    ScopedEnv ca("RGW_TEST_CA_FILE", "/ca.pem");
    ScopedEnv key("RGW_TEST_ACCESS_KEY", "AKID");
    ScopedEnv https("RGW_TEST_HTTPS_URL", std::nullopt);
    ScopedEnv secret("RGW_TEST_SECRET_KEY", "");
    std::string why;
    EXPECT_FALSE(RgwServer::FromEnvironment(&why).has_value());
    EXPECT_NE(why.find("RGW_TEST_HTTPS_URL, RGW_TEST_SECRET_KEY not set"), std::string::npos)
        << why;
    ScopedEnv optOut("RGW_TEST_OPT_OUT", "1");
    EXPECT_TRUE(RgwServer::OptedOut());
    ScopedEnv full("RGW_TEST_HTTPS_URL", "https://127.0.0.1:2");
    ScopedEnv given("RGW_TEST_SECRET_KEY", "secret");
    const std::optional<RgwServer> found = RgwServer::FromEnvironment(&why);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->httpsUrl, "https://127.0.0.1:2");
    EXPECT_EQ(found->secretKey, "secret");
}

TEST(WireHarness, TheRelayPassesBothWaysUntilItGoes) {
    const MotoServer& moto = MotoServer::SharedTls();
    int port = 0;
    {
        testhost::TcpRelay relay(0, moto.Port());
        port = relay.Port();
        // TLS end to end: the client checks moto's own certificate through the relay.
        S3Admin through("https://127.0.0.1:" + std::to_string(port), moto.CaFile());
        const std::string bucket = through.UniqueBucketName("wire-relay");
        through.CreateBucket(bucket);
        const std::string body(2 * kMiB + 5, 'r');
        through.PutObject(bucket, "relayed", body);
        EXPECT_EQ(through.GetObject(bucket, "relayed"), std::optional<std::string>(body));
        EXPECT_GE(relay.Connections(), 1);
        through.DeleteBucketAndContents(bucket);
    }
    // Gone with the object: nothing listens there any more.
    S3Admin closed("https://127.0.0.1:" + std::to_string(port), moto.CaFile());
    EXPECT_EQ(closed.Request("GET", "/").status, 0);
}

}  // namespace
