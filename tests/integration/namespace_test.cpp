// Browsing, creating and deleting through a loaded plug-in, against a local server behind a
// recording proxy: the requests each operation sends, what it reports, and what the instance's
// listings show afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testhost/Testhost.h"
#include "torvik/Strings.h"

namespace {

using testhost::FaultProxy;
using testhost::FaultRule;
using testhost::MapLink;
using testhost::MotoServer;
using testhost::PluginLibrary;
using testhost::RecordedRequest;
using testhost::RecordingLog;
using testhost::S3Admin;
using testhost::ScopedEnv;

std::wstring Wide(const std::string& text) { return Torvik::strings::UTF8toWstr(text); }

// One storage instance of a deliverable, set up as a host would, with every endpoint it knows
// pointed at `proxy`. The endpoint settings stay in force for the instance's whole life, as
// some deliverables build clients at each call.
class Storage {
  public:
    Storage(const std::string& deliverable, const FaultProxy& proxy)
        : name(deliverable), lib(deliverable) {
        link.Set(L"AccessKeyID", L"ns-key");
        link.Set(L"SecretAccessKey", L"ns-secret");
        link.Set(L"UserName", L"ns-key");
        link.Set(L"Password", L"ns-secret");
        link.Set(L"ServerName", Wide(proxy.Url()));
        link.Set(L"Region", L"eu-west-1");
        link.Set(L"FallbackRegion", L"eu-west-1");
        if (deliverable == "Tresko") env.emplace("AWS_ENDPOINT_URL_S3", proxy.Url());
        endpointSlot = lib.Symbol<char*>("Endpoint");
        if (endpointSlot != nullptr) {
            previousEndpoint = *endpointSlot;
            PointEndpointAt(proxy.Url());
        }
        instance = lib.GetBackupDataWrite(&log, &link);
        if (instance == nullptr) throw std::runtime_error("no instance of " + deliverable);
    }
    ~Storage() {
        instance->Destroy();
        if (endpointSlot != nullptr) *endpointSlot = previousEndpoint;
    }
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    IBackupDataWrite* operator->() const { return instance; }

    // For the deliverables with an exported `Endpoint`: where clients built from now on go.
    void PointEndpointAt(const std::string& url) {
        endpoint = url;
        *endpointSlot = endpoint.data();
    }

    std::list<CFileInfo> List(const std::wstring& path, ResultCode expected = Success) {
        std::list<CFileInfo> entries;
        EXPECT_EQ(instance->GetListing(path, entries), expected) << "listing " << path.size();
        return entries;
    }

    const std::string name;
    PluginLibrary lib;
    RecordingLog log;
    MapLink link;

  private:
    std::optional<ScopedEnv> env;
    char** endpointSlot = nullptr;
    char* previousEndpoint = nullptr;
    std::string endpoint;
    IBackupDataWrite* instance = nullptr;
};

std::vector<std::string> Names(const std::list<CFileInfo>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(Torvik::strings::WstrToUTF8(entry.name));
    return names;
}

const CFileInfo* Find(const std::list<CFileInfo>& entries, const std::string& name) {
    for (const auto& entry : entries) {
        if (entry.name == Wide(name)) return &entry;
    }
    return nullptr;
}

std::vector<RecordedRequest> RequestsWith(const FaultProxy& proxy, const std::string& method,
                                          const std::string& targetPart = "") {
    std::vector<RecordedRequest> found;
    for (const auto& request : proxy.Requests()) {
        if (request.method == method && request.target.find(targetPart) != std::string::npos) {
            found.push_back(request);
        }
    }
    return found;
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

bool HasChecksumHeader(const RecordedRequest& request) {
    for (const auto& header : request.headers) {
        if (StartsWith(header.first, "x-amz-checksum-")) return true;
    }
    return false;
}

std::string SigningRegion(const RecordedRequest& request) {
    const auto header = request.headers.find("authorization");
    if (header == request.headers.end()) return "";
    const std::string& value = header->second;
    // Credential=AKID/DATE/REGION/s3/aws4_request
    std::size_t at = value.find("Credential=");
    if (at == std::string::npos) return "";
    for (int slash = 0; slash < 2; ++slash) at = value.find('/', at) + 1;
    return value.substr(at, value.find('/', at) - at);
}

// The context line, then the six fields of the error, all at severity 2.
void ExpectErrorReport(const RecordingLog& log, const std::string& context,
                       const std::string& responseCode) {
    const std::vector<std::string> texts = log.Texts();
    ASSERT_GE(texts.size(), 7u) << ::testing::PrintToString(texts);
    EXPECT_EQ(texts[0], context);
    EXPECT_TRUE(StartsWith(texts[1], "ErrorType: ")) << texts[1];
    EXPECT_TRUE(StartsWith(texts[2], "ExceptionName: ")) << texts[2];
    EXPECT_TRUE(StartsWith(texts[3], "Message: ")) << texts[3];
    EXPECT_TRUE(StartsWith(texts[4], "RemoteHostIpAddress: ")) << texts[4];
    EXPECT_TRUE(StartsWith(texts[5], "RequestId: ")) << texts[5];
    EXPECT_EQ(texts[6], "ResponseCode: " + responseCode);
    for (const auto& line : log.Lines()) EXPECT_EQ(line.severity, 2) << line.text;
}

FaultRule Fail(const std::string& method, const std::string& pathRegex, int status,
               const std::string& code, int nth = 1) {
    FaultRule rule;
    rule.method = method;
    rule.pathRegex = pathRegex;
    rule.status = status;
    rule.errorCode = code;
    rule.errorMessage = code + " injected";
    rule.nth = nth;
    rule.count = 1;
    return rule;
}

class Namespace : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        moto = &MotoServer::Shared();
        proxy = new FaultProxy(moto->Url());
    }
    static void TearDownTestSuite() {
        delete proxy;
        proxy = nullptr;
    }
    void SetUp() override {
        Proxy().ClearRules();
        Proxy().ClearRequests();
    }

    // The proxy in front of the server for this deliverable: libPennat's endpoint is built in,
    // so its test build talks to a proxy on a fixed loopback port. That port is held only for
    // one test, and taken over when another test binary lets go of it.
    FaultProxy& ProxyFor(const std::string& deliverable) {
        if (deliverable != "PennatLoopback") return *proxy;
        for (int attempt = 0; fixedProxy == nullptr; ++attempt) {
            try {
                fixedProxy =
                    std::make_unique<FaultProxy>(moto->Url(), testhost::FixedEndpointPort());
            } catch (const std::runtime_error&) {
                if (attempt == 300) throw;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        return *fixedProxy;
    }
    virtual FaultProxy& Proxy() { return *proxy; }

    // A fresh bucket; the regional deliverable finds it in the region named here.
    std::string NewBucket(const std::string& stem) {
        const std::string bucket = admin.UniqueBucketName(stem);
        admin.CreateBucket(bucket, "eu-central-1");
        return bucket;
    }

    static MotoServer* moto;
    static FaultProxy* proxy;
    std::unique_ptr<FaultProxy> fixedProxy;
    S3Admin admin{MotoServer::Shared().Url()};
    ScopedEnv retryMode{"AWS_RETRY_MODE", "standard"};
    ScopedEnv attempts{"AWS_MAX_ATTEMPTS", "1"};
    ScopedEnv configFile{"AWS_CONFIG_FILE", "/dev/null"};
    ScopedEnv defaultRegion{"AWS_DEFAULT_REGION", "sa-east-1"};
};
MotoServer* Namespace::moto = nullptr;
FaultProxy* Namespace::proxy = nullptr;

class EveryDeliverable : public Namespace, public ::testing::WithParamInterface<const char*> {
  protected:
    FaultProxy& Proxy() override { return ProxyFor(GetParam()); }
};

TEST_P(EveryDeliverable, CreatingABucketOrTheRootIsRefusedWithoutARequest) {
    const std::string bucket = NewBucket("ns-refuse");
    Storage storage(GetParam(), Proxy());
    Proxy().ClearRequests();
    storage.log.Clear();

    const std::string deliverable = GetParam();
    const std::string message =
        deliverable == "Tresko"   ? "Please, create buckets from Amazon S3 web console"
        : deliverable == "Ruvast" ? "Please, create buckets from Mail.ru HotBox web console"
        : deliverable == "Golmer" ? "Please, create buckets from Mail.ru IceBox web console"
                                  : "Please, create buckets from web console";
    EXPECT_EQ(storage->CreateFolder(Wide(bucket)), Failure);
    EXPECT_EQ(storage->CreateFolder(L""), Failure);
    EXPECT_EQ(storage->CreateFolder(Wide("new-" + bucket)), Failure);
    EXPECT_EQ(storage.log.Texts(), std::vector<std::string>(3, message));
    for (const auto& line : storage.log.Lines()) EXPECT_EQ(line.severity, 2);
    EXPECT_TRUE(Proxy().Requests().empty());
    EXPECT_FALSE(admin.BucketExists("new-" + bucket));
}

TEST_P(EveryDeliverable, CreateFolderStoresTheMarkerAndTheFolderIsListed) {
    const std::string bucket = NewBucket("ns-create");
    admin.PutObject(bucket, "2024/full.bak", "full");
    Storage storage(GetParam(), Proxy());
    // The parent is in the cache before the folder is created below it.
    ASSERT_EQ(Names(storage.List(Wide(bucket + "\\2024"))), std::vector<std::string>{"full.bak"});
    Proxy().ClearRequests();

    ASSERT_EQ(storage->CreateFolder(Wide(bucket + "\\2024\\daily")), Success);

    EXPECT_EQ(admin.GetObject(bucket, "2024/daily/"), std::optional<std::string>(""));
    const auto puts = RequestsWith(Proxy(), "PUT");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_TRUE(StartsWith(puts[0].target, "/" + bucket + "/2024/daily/")) << puts[0].target;
    EXPECT_EQ(puts[0].bodyBytes, 0);
    const std::string deliverable = GetParam();
    // Checksums are calculated only when required for the S3-compatible deliverable; the
    // others keep the SDK's default and send one with the marker.
    EXPECT_EQ(HasChecksumHeader(puts[0]), deliverable != "Mardel")
        << ::testing::PrintToString(puts[0].headers);
    if (deliverable == "Tresko") {
        EXPECT_EQ(SigningRegion(puts[0]), "eu-central-1");
    }

    const auto entries = storage.List(Wide(bucket + "/2024"));
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"daily", "full.bak"}));
    const CFileInfo* daily = Find(entries, "daily");
    ASSERT_NE(daily, nullptr);
    EXPECT_EQ(daily->attributes, 0x10u);
    CFileAttributes attributes;
    EXPECT_EQ(storage->GetElementAttributes(Wide(bucket + "\\2024\\daily"), attributes), Success);
    EXPECT_TRUE(attributes.IsDirectory());
    EXPECT_TRUE(storage.log.Lines().empty()) << ::testing::PrintToString(storage.log.Texts());
}

TEST_P(EveryDeliverable, DeleteFolderRemovesTheTreeBelowItAndNothingBeside) {
    const std::string bucket = NewBucket("ns-delete");
    const std::vector<std::string> inside = {"2024/",
                                             "2024/daily/",
                                             "2024/daily/full.bak",
                                             "2024/a&amp;b.bak",
                                             "2024/x y+z.bak",
                                             "2024/\xc3\xbc"
                                             "ber.bak"};
    for (const auto& key : inside) admin.PutObject(bucket, key, key.back() == '/' ? "" : "data");
    admin.PutObject(bucket, "2024x.bak", "beside");
    admin.PutObject(bucket, "other/keep.bak", "beside");
    Storage storage(GetParam(), Proxy());
    ASSERT_EQ(Names(storage.List(Wide(bucket))),
              (std::vector<std::string>{"2024", "other", "2024x.bak"}));
    // The folder's own marker is no entry; the names are the keys as stored.
    ASSERT_EQ(Names(storage.List(Wide(bucket + "\\2024"))),
              (std::vector<std::string>{"daily", "a&amp;b.bak", "x y+z.bak",
                                        "\xc3\xbc"
                                        "ber.bak"}));
    Proxy().ClearRequests();

    ASSERT_EQ(storage->DeleteFolder(Wide(bucket + "\\2024")), Success);

    EXPECT_TRUE(admin.ListKeys(bucket, "2024/").empty())
        << ::testing::PrintToString(admin.ListKeys(bucket, "2024/"));
    EXPECT_EQ(admin.ListKeys(bucket), (std::vector<std::string>{"2024x.bak", "other/keep.bak"}));
    const auto lists = RequestsWith(Proxy(), "GET", "list-type=2");
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_NE(lists[0].target.find("prefix=2024%2F"), std::string::npos) << lists[0].target;
    EXPECT_EQ(lists[0].target.find("delimiter"), std::string::npos) << lists[0].target;
    EXPECT_EQ(RequestsWith(Proxy(), "DELETE").size(), inside.size());
    EXPECT_TRUE(storage.log.Lines().empty()) << ::testing::PrintToString(storage.log.Texts());

    // The instance's own listings no longer show what it deleted...
    EXPECT_EQ(Names(storage.List(Wide(bucket))), (std::vector<std::string>{"other", "2024x.bak"}));
    CFileAttributes attributes;
    EXPECT_EQ(storage->GetElementAttributes(Wide(bucket + "\\2024"), attributes), NotFound);
    // ...and a folder created again under the same name is there afresh.
    ASSERT_EQ(storage->CreateFolder(Wide(bucket + "\\2024")), Success);
    EXPECT_EQ(Names(storage.List(Wide(bucket))),
              (std::vector<std::string>{"2024", "other", "2024x.bak"}));
    EXPECT_TRUE(storage.List(Wide(bucket + "\\2024")).empty());
}

TEST_P(EveryDeliverable, DeleteFileDeletesTheObjectAndForgetsIt) {
    const std::string bucket = NewBucket("ns-delfile");
    admin.PutObject(bucket, "2024/full.bak", "full");
    admin.PutObject(bucket, "2024/keep.bak", "keep");
    Storage storage(GetParam(), Proxy());
    ASSERT_EQ(Names(storage.List(Wide(bucket + "\\2024"))),
              (std::vector<std::string>{"full.bak", "keep.bak"}));
    Proxy().ClearRequests();

    ASSERT_EQ(storage->DeleteFile(Wide(bucket + "\\2024\\full.bak")), Success);

    EXPECT_EQ(admin.GetObject(bucket, "2024/full.bak"), std::nullopt);
    const auto deletes = RequestsWith(Proxy(), "DELETE");
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_TRUE(StartsWith(deletes[0].target, "/" + bucket + "/2024/full.bak"))
        << deletes[0].target;
    CFileAttributes attributes;
    EXPECT_EQ(storage->GetElementAttributes(Wide(bucket + "\\2024\\full.bak"), attributes),
              NotFound);
    EXPECT_EQ(Names(storage.List(Wide(bucket + "\\2024"))), std::vector<std::string>{"keep.bak"});
    EXPECT_TRUE(storage.log.Lines().empty()) << ::testing::PrintToString(storage.log.Texts());
}

INSTANTIATE_TEST_SUITE_P(Deliverables, EveryDeliverable,
                         ::testing::Values("Tresko", "Mardel", "PennatLoopback", "Ruvast",
                                           "Golmer"));

TEST_F(Namespace, CreatingAnExistingFolderStoresItsMarkerAgain) {
    const std::string bucket = NewBucket("ns-again");
    admin.PutObject(bucket, "2024/", "");
    Storage storage("Mardel", *proxy);
    ASSERT_EQ(Names(storage.List(Wide(bucket))), std::vector<std::string>{"2024"});
    proxy->ClearRequests();

    EXPECT_EQ(storage->CreateFolder(Wide(bucket + "\\2024")), Success);
    EXPECT_EQ(RequestsWith(*proxy, "PUT").size(), 1u);
    EXPECT_EQ(Names(storage.List(Wide(bucket))), std::vector<std::string>{"2024"});
}

TEST_F(Namespace, ATrailingSeparatorStaysInTheMarkerKey) {
    const std::string bucket = NewBucket("ns-trailing");
    Storage storage("Mardel", *proxy);
    proxy->ClearRequests();

    EXPECT_EQ(storage->CreateFolder(Wide(bucket + "\\2024\\")), Success);
    EXPECT_EQ(storage->CreateFolder(Wide(bucket + "\\")), Success);

    const auto puts = RequestsWith(*proxy, "PUT");
    ASSERT_EQ(puts.size(), 2u);
    EXPECT_TRUE(StartsWith(puts[0].target, "/" + bucket + "/2024//")) << puts[0].target;
    EXPECT_TRUE(StartsWith(puts[1].target, "/" + bucket + "//")) << puts[1].target;
    EXPECT_EQ(admin.GetObject(bucket, "2024//"), std::optional<std::string>(""));
    EXPECT_EQ(admin.GetObject(bucket, "/"), std::optional<std::string>(""));
}

TEST_F(Namespace, AFailedMarkerIsReportedAndTheCacheLeftAlone) {
    const std::string bucket = NewBucket("ns-putfail");
    Storage storage("Mardel", *proxy);
    ASSERT_TRUE(storage.List(Wide(bucket)).empty());
    proxy->AddRule(Fail("PUT", "", 403, "AccessDenied"));

    const std::wstring path = Wide(bucket + "\\2024\\new");
    EXPECT_EQ(storage->CreateFolder(path), Failure);

    ExpectErrorReport(storage.log, "Cannot create folder " + bucket + "\\2024\\new", "403");
    EXPECT_EQ(storage.log.Texts()[2], "ExceptionName: AccessDenied");
    CFileAttributes attributes;
    EXPECT_NE(storage->GetElementAttributes(path, attributes), Success);
    EXPECT_TRUE(storage.List(Wide(bucket)).empty());
}

TEST_F(Namespace, DeleteFolderFollowsThePagesPastOneThousandObjects) {
    const std::string bucket = NewBucket("ns-deep");
    std::vector<std::string> keys = {"deep/", "deep/a/", "deep/a/b/"};
    for (int i = 0; i < 1100; ++i) {
        const std::string level = i % 3 == 0 ? "deep/" : i % 3 == 1 ? "deep/a/" : "deep/a/b/";
        keys.push_back(level + "file" + std::to_string(10000 + i) + ".bak");
    }
    for (const auto& key : keys) admin.PutObject(bucket, key, key.back() == '/' ? "" : "x");
    admin.PutObject(bucket, "deeper.bak", "beside");
    Storage storage("Mardel", *proxy);
    proxy->ClearRequests();

    ASSERT_EQ(storage->DeleteFolder(Wide(bucket + "\\deep")), Success);

    EXPECT_TRUE(admin.ListKeys(bucket, "deep/").empty());
    EXPECT_EQ(admin.ListKeys(bucket), std::vector<std::string>{"deeper.bak"});
    const auto lists = RequestsWith(*proxy, "GET", "list-type=2");
    ASSERT_GE(lists.size(), 2u);
    EXPECT_EQ(lists[0].target.find("continuation-token="), std::string::npos);
    EXPECT_NE(lists[1].target.find("continuation-token="), std::string::npos) << lists[1].target;
    EXPECT_EQ(RequestsWith(*proxy, "DELETE").size(), keys.size());
}

TEST_F(Namespace, DeletingAnEmptyFolderTakesOneListing) {
    const std::string bucket = NewBucket("ns-empty");
    admin.PutObject(bucket, "elsewhere/x.bak", "x");
    Storage storage("Mardel", *proxy);
    proxy->ClearRequests();

    EXPECT_EQ(storage->DeleteFolder(Wide(bucket + "\\nothing")), Success);
    const auto requests = proxy->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_NE(requests[0].target.find("prefix=nothing%2F"), std::string::npos);
    EXPECT_EQ(admin.ListKeys(bucket), std::vector<std::string>{"elsewhere/x.bak"});
}

TEST_F(Namespace, DeletingABucketAloneTouchesOnlyKeysUnderASeparator) {
    const std::string bucket = NewBucket("ns-bucket");
    admin.PutObject(bucket, "keep.bak", "x");
    admin.PutObject(bucket, "dir/keep.bak", "x");
    Storage storage("Mardel", *proxy);
    ASSERT_EQ(Names(storage.List(Wide(bucket))), (std::vector<std::string>{"dir", "keep.bak"}));
    proxy->ClearRequests();

    EXPECT_EQ(storage->DeleteFolder(Wide(bucket)), Success);

    const auto requests = proxy->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_NE(requests[0].target.find("prefix=%2F"), std::string::npos) << requests[0].target;
    EXPECT_TRUE(admin.BucketExists(bucket));
    EXPECT_EQ(admin.ListKeys(bucket), (std::vector<std::string>{"dir/keep.bak", "keep.bak"}));
    // The bucket and its entries stay in the instance's picture as well.
    EXPECT_NE(Find(storage.List(L""), bucket), nullptr);
    EXPECT_EQ(Names(storage.List(Wide(bucket))), (std::vector<std::string>{"dir", "keep.bak"}));
}

TEST_F(Namespace, DeleteFolderStopsAtTheFirstFailedDelete) {
    const std::string bucket = NewBucket("ns-stop");
    for (const char* key : {"f/1.bak", "f/2.bak", "f/3.bak"}) admin.PutObject(bucket, key, "x");
    Storage storage("Mardel", *proxy);
    ASSERT_EQ(Names(storage.List(Wide(bucket + "\\f"))).size(), 3u);
    proxy->AddRule(Fail("DELETE", "", 500, "InternalError", /*nth=*/2));

    EXPECT_EQ(storage->DeleteFolder(Wide(bucket + "\\f")), Failure);

    EXPECT_EQ(RequestsWith(*proxy, "DELETE").size(), 2u);
    EXPECT_EQ(admin.ListKeys(bucket, "f/"), (std::vector<std::string>{"f/2.bak", "f/3.bak"}));
    EXPECT_TRUE(storage.log.Lines().empty());
    // Not all of it is gone, so the folder is still shown.
    EXPECT_EQ(Names(storage.List(Wide(bucket))), std::vector<std::string>{"f"});
}

TEST_F(Namespace, DeleteFolderWithAFailedListingDeletesNothing) {
    const std::string bucket = NewBucket("ns-listfail");
    admin.PutObject(bucket, "f/1.bak", "x");
    Storage storage("Mardel", *proxy);
    proxy->AddRule(Fail("GET", "list-type=2", 500, "InternalError"));

    EXPECT_EQ(storage->DeleteFolder(Wide(bucket + "\\f")), Failure);
    EXPECT_TRUE(RequestsWith(*proxy, "DELETE").empty());
    EXPECT_EQ(admin.ListKeys(bucket), std::vector<std::string>{"f/1.bak"});
    EXPECT_TRUE(storage.log.Lines().empty());
}

TEST_F(Namespace, AFailedFileDeleteIsReported) {
    const std::string bucket = NewBucket("ns-delfail");
    admin.PutObject(bucket, "2024/full.bak", "full");
    Storage storage("Mardel", *proxy);
    ASSERT_EQ(Names(storage.List(Wide(bucket + "/2024"))), std::vector<std::string>{"full.bak"});
    proxy->AddRule(Fail("DELETE", "", 403, "AccessDenied"));

    EXPECT_EQ(storage->DeleteFile(Wide(bucket + "\\2024\\full.bak")), Failure);

    ExpectErrorReport(storage.log, "Cannot delete file " + bucket + "\\2024\\full.bak", "403");
    EXPECT_EQ(storage.log.Texts()[1], "ErrorType: 15");
    EXPECT_EQ(admin.GetObject(bucket, "2024/full.bak"), std::optional<std::string>("full"));
    CFileAttributes attributes;
    EXPECT_EQ(storage->GetElementAttributes(Wide(bucket + "\\2024\\full.bak"), attributes),
              Success);
}

TEST_F(Namespace, DeleteFileOfABucketAloneSendsNothing) {
    const std::string bucket = NewBucket("ns-nokey");
    Storage storage("Mardel", *proxy);
    proxy->ClearRequests();

    EXPECT_EQ(storage->DeleteFile(Wide(bucket)), Failure);
    EXPECT_EQ(storage->DeleteFile(Wide(bucket + "\\")), Failure);
    EXPECT_EQ(storage->DeleteFile(L""), Failure);
    EXPECT_TRUE(proxy->Requests().empty());
    EXPECT_TRUE(admin.BucketExists(bucket));
    // Each refusal is told, naming the path, as a failed delete is.
    EXPECT_TRUE(storage.log.Contains("Cannot delete file " + bucket + "\\"));
}

TEST_F(Namespace, APathWithoutABucketSendsNothing) {
    const std::string bucket = NewBucket("ns-nobucket");
    admin.PutObject(bucket, "2024/full.bak", "full");
    Storage storage("Mardel", *proxy);
    proxy->ClearRequests();

    // A leading separator: the bucket is empty and the first component is part of the key.
    const std::wstring file = Wide("\\" + bucket + "\\2024\\full.bak");
    EXPECT_EQ(storage->DeleteFile(file), Failure);
    EXPECT_EQ(storage->DeleteFolder(Wide("\\" + bucket + "\\2024")), Failure);
    EXPECT_EQ(storage->DeleteFolder(L""), Failure);
    EXPECT_EQ(storage->CreateFolder(Wide("\\" + bucket + "\\new")), Failure);
    EXPECT_TRUE(proxy->Requests().empty());
    EXPECT_EQ(admin.ListKeys(bucket), std::vector<std::string>{"2024/full.bak"});
    // Refused for its empty first component, the path named in the log.
    EXPECT_TRUE(storage.log.Contains("Path \\" + bucket + "\\2024\\full.bak refused"));
    EXPECT_TRUE(storage.log.Contains("Path \\" + bucket + "\\new refused"));
}

class ExportedEndpoint : public Namespace, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExportedEndpoint, EditsGoWhereEndpointPointsAtTheTimeOfTheCall) {
    const std::string bucket = NewBucket("ns-moved");
    admin.PutObject(bucket, "old/file.bak", "x");
    admin.PutObject(bucket, "gone.bak", "x");
    FaultProxy later(moto->Url());
    Storage storage(GetParam(), *proxy);
    ASSERT_EQ(Names(storage.List(Wide(bucket))), (std::vector<std::string>{"old", "gone.bak"}));
    proxy->ClearRequests();

    storage.PointEndpointAt(later.Url());
    EXPECT_EQ(storage->CreateFolder(Wide(bucket + "\\new")), Success);
    EXPECT_EQ(storage->DeleteFile(Wide(bucket + "\\gone.bak")), Success);
    EXPECT_EQ(storage->DeleteFolder(Wide(bucket + "\\old")), Success);
    EXPECT_EQ(RequestsWith(later, "PUT").size(), 1u);
    EXPECT_EQ(RequestsWith(later, "DELETE").size(), 2u);
    EXPECT_EQ(RequestsWith(later, "GET", "list-type=2").size(), 1u);
    EXPECT_TRUE(proxy->Requests().empty());

    EXPECT_EQ(Names(storage.List(Wide(bucket))), std::vector<std::string>{"new"});

    // Browsing keeps to the instance's own client, built when the instance was.
    later.ClearRequests();
    EXPECT_TRUE(storage.List(Wide(bucket + "\\new")).empty());
    EXPECT_EQ(RequestsWith(*proxy, "GET", "list-type=2").size(), 1u);
    EXPECT_TRUE(later.Requests().empty());
}

INSTANTIATE_TEST_SUITE_P(HotAndCold, ExportedEndpoint, ::testing::Values("Ruvast", "Golmer"));

TEST_F(Namespace, MardelChecksItsParametersAtEachRootListing) {
    const std::string bucket = NewBucket("ns-mardel-root");
    Storage storage("Mardel", *proxy);
    std::list<CFileInfo> entries(1);  // the host's list, which a refusal must leave alone

    storage.link.ClearAsked();
    ASSERT_EQ(storage->GetListing(L"", entries), Success);
    EXPECT_EQ(storage.link.Asked(),
              (std::vector<std::wstring>{L"ServerName", L"AccessKeyID", L"SecretAccessKey"}));
    EXPECT_NE(Find(entries, bucket), nullptr);
    EXPECT_TRUE(storage.log.Lines().empty());

    // The host changes its configuration after set-up: the root listing sees it.
    storage.link.Set(L"ServerName", L"");
    storage.link.Set(L"AccessKeyID", L"");
    storage.link.ClearAsked();
    entries.assign(1, CFileInfo());
    EXPECT_EQ(storage->GetListing(L"", entries), Failure);
    EXPECT_EQ(storage.link.Asked(), std::vector<std::wstring>{L"ServerName"});
    EXPECT_EQ(storage.log.Texts(), std::vector<std::string>{"Server name is empty"});
    EXPECT_EQ(storage.log.Lines()[0].severity, 2);
    EXPECT_EQ(entries.size(), 1u);

    storage.link.Set(L"ServerName", L"somewhere");
    storage.log.Clear();
    EXPECT_EQ(storage->GetListing(L"", entries), Failure);
    EXPECT_EQ(storage.log.Texts(), std::vector<std::string>{"Access Key is empty"});

    storage.link.Set(L"AccessKeyID", L"key");
    storage.link.Unset(L"SecretAccessKey");
    storage.log.Clear();
    EXPECT_EQ(storage->GetListing(L"", entries), Failure);
    EXPECT_EQ(storage.log.Texts(), std::vector<std::string>{"Secret Key is empty"});
    EXPECT_EQ(entries.size(), 1u);

    // Below the root nothing is read: the request goes to the cache and the service.
    storage.link.Set(L"ServerName", L"");
    storage.link.ClearAsked();
    storage.log.Clear();
    EXPECT_TRUE(storage.List(Wide(bucket)).empty());
    EXPECT_TRUE(storage.link.Asked().empty());
    EXPECT_TRUE(storage.log.Lines().empty());
}

TEST_F(Namespace, PennatChecksItsKeysAtEachRootListing) {
    const std::string bucket = NewBucket("ns-pennat-root");
    FaultProxy& fixed = ProxyFor("PennatLoopback");
    Storage storage("PennatLoopback", fixed);

    storage.link.ClearAsked();
    EXPECT_NE(Find(storage.List(L""), bucket), nullptr);
    EXPECT_EQ(storage.link.Asked(),
              (std::vector<std::wstring>{L"AccessKeyID", L"SecretAccessKey"}));

    storage.link.Set(L"SecretAccessKey", L"");
    std::list<CFileInfo> entries;
    EXPECT_EQ(storage->GetListing(L"", entries), Failure);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(storage.log.Texts(), std::vector<std::string>{"Secret Key is empty"});

    storage.link.Set(L"AccessKeyID", L"");
    storage.log.Clear();
    EXPECT_EQ(storage->GetListing(L"", entries), Failure);
    EXPECT_EQ(storage.log.Texts(), std::vector<std::string>{"Access Key is empty"});
}

TEST_F(Namespace, TheOtherDeliverablesCheckNothingAtTheRoot) {
    NewBucket("ns-unchecked");
    for (const char* deliverable : {"Tresko", "Ruvast", "Golmer"}) {
        Storage storage(deliverable, *proxy);
        storage.link.Set(L"AccessKeyID", L"");
        storage.link.Set(L"UserName", L"");
        storage.link.ClearAsked();
        EXPECT_FALSE(storage.List(L"").empty()) << deliverable;
        EXPECT_TRUE(storage.link.Asked().empty()) << deliverable;
        EXPECT_TRUE(storage.log.Lines().empty()) << deliverable;
    }
}

TEST_F(Namespace, BrowsingAnswersFromTheCacheWhicheverSeparatorIsUsed) {
    const std::string bucket = NewBucket("ns-browse");
    admin.PutObject(bucket, "2024/a.bak", "12345");
    admin.PutObject(bucket, "2024/sub/b.bak", "x");
    Storage storage("Mardel", *proxy);

    const auto backslash = storage.List(Wide(bucket + "\\2024"));
    const auto slash = storage.List(Wide(bucket + "/2024"));
    EXPECT_EQ(Names(backslash), (std::vector<std::string>{"sub", "a.bak"}));
    EXPECT_EQ(Names(slash), Names(backslash));

    proxy->ClearRequests();
    CFileAttributes attributes;
    ASSERT_EQ(storage->GetElementAttributes(Wide(bucket), attributes), Success);
    EXPECT_EQ(attributes.attributes, 0x10u);
    ASSERT_EQ(storage->GetElementAttributes(Wide(bucket + "\\2024\\a.bak"), attributes), Success);
    EXPECT_EQ(attributes.attributes, 0x80u);
    EXPECT_EQ(attributes.size, 5u);
    EXPECT_TRUE(attributes.sizeValid);
    EXPECT_EQ(storage->GetElementAttributes(Wide(bucket + "\\2024\\none.bak"), attributes),
              NotFound);
    EXPECT_TRUE(proxy->Requests().empty());
}

TEST_F(Namespace, OperationsAnObjectStoreHasNoUseForSucceedQuietly) {
    const std::string bucket = NewBucket("ns-noop");
    admin.PutObject(bucket, "a.bak", "x");
    Storage storage("Mardel", *proxy);
    proxy->ClearRequests();

    CFileAttributes attributes;
    EXPECT_EQ(storage->SetElementAttributes(Wide(bucket + "\\a.bak"), attributes), Success);
    EXPECT_EQ(storage->SetElementAttributes(L"", attributes), Success);
    EXPECT_EQ(storage->MoveFile(Wide(bucket + "\\a.bak"), Wide(bucket + "\\b.bak")), Success);
    EXPECT_EQ(storage->BeginTransaction(), Success);
    EXPECT_EQ(storage->CommitTransaction(), Success);
    storage->OnStop();
    EXPECT_TRUE(proxy->Requests().empty());
    EXPECT_TRUE(storage.log.Lines().empty());
    EXPECT_EQ(admin.ListKeys(bucket), std::vector<std::string>{"a.bak"});
}

}  // namespace
