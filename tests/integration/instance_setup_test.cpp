// Loading the plug-ins and setting up storage instances, as the host does: the parameters each
// deliverable asks for, where its first request goes and how it is signed, how a failed bucket
// listing is reported, and the life of several instances in one process.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testhost/Testhost.h"

namespace {

using testhost::FaultAction;
using testhost::FaultProxy;
using testhost::FaultRule;
using testhost::MapLink;
using testhost::MotoServer;
using testhost::PluginLibrary;
using testhost::RecordedRequest;
using testhost::RecordingLog;
using testhost::S3Admin;
using testhost::ScopedEnv;

struct Destroyer {
    void operator()(IBackupDataRead* instance) const { instance->Destroy(); }
};
using WriteInstance = std::unique_ptr<IBackupDataWrite, Destroyer>;
using ReadInstance = std::unique_ptr<IBackupDataRead, Destroyer>;

// Points a plug-in's exported `Endpoint` somewhere else for the life of the object.
class ScopedEndpoint {
  public:
    ScopedEndpoint(const PluginLibrary& lib, std::optional<std::string> value)
        : slot_(lib.Symbol<char*>("Endpoint")), value_(std::move(value)) {
        if (slot_ == nullptr) throw std::runtime_error(lib.Path() + " exports no Endpoint");
        previous_ = *slot_;
        *slot_ = value_ ? value_->data() : nullptr;
    }
    ~ScopedEndpoint() { *slot_ = previous_; }
    ScopedEndpoint(const ScopedEndpoint&) = delete;
    ScopedEndpoint& operator=(const ScopedEndpoint&) = delete;

  private:
    char** slot_;
    std::optional<std::string> value_;
    char* previous_ = nullptr;
};

// "AKID/REGION" from the credential scope of a SigV4 Authorization header.
std::string CredentialScope(const RecordedRequest& request) {
    const auto header = request.headers.find("authorization");
    if (header == request.headers.end()) return "(unsigned)";
    const std::string& value = header->second;
    const std::size_t start = value.find("Credential=");
    if (start == std::string::npos) return "(no credential)";
    const std::string credential = value.substr(start + 11, value.find(',', start) - (start + 11));
    // AKID/DATE/REGION/s3/aws4_request
    const std::size_t first = credential.find('/');
    const std::size_t second = credential.find('/', first + 1);
    const std::size_t third = credential.find('/', second + 1);
    return credential.substr(0, first) + "/" + credential.substr(second + 1, third - second - 1);
}

bool IsListBuckets(const RecordedRequest& request) {
    return request.method == "GET" && (request.target == "/" || request.target.rfind("/?", 0) == 0);
}

std::vector<RecordedRequest> ListBucketsRequests(const FaultProxy& proxy) {
    std::vector<RecordedRequest> found;
    for (const auto& request : proxy.Requests()) {
        if (IsListBuckets(request)) found.push_back(request);
    }
    return found;
}

std::vector<std::wstring> Names(const std::list<CFileInfo>& entries) {
    std::vector<std::wstring> names;
    for (const auto& entry : entries) names.push_back(entry.name);
    return names;
}

bool HasName(const std::list<CFileInfo>& entries, const std::string& name) {
    for (const auto& entry : entries) {
        if (entry.name == std::wstring(name.begin(), name.end())) return true;
    }
    return false;
}

// Every test talks to one local server through one recording proxy; failures are injected
// with a single attempt per request so that nothing waits on retries.
class InstanceSetup : public ::testing::Test {
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
        proxy->ClearRules();
        proxy->ClearRequests();
    }

    void SetKeys(MapLink& link, const std::wstring& accessKey = L"setup-key") {
        link.Set(L"AccessKeyID", accessKey);
        link.Set(L"SecretAccessKey", L"setup-secret");
        link.Set(L"UserName", accessKey);
        link.Set(L"Password", L"setup-secret");
    }
    std::wstring ProxyUrl() const { return std::wstring(proxy->Url().begin(), proxy->Url().end()); }

    static MotoServer* moto;
    static FaultProxy* proxy;
    ScopedEnv retryMode{"AWS_RETRY_MODE", "standard"};
    ScopedEnv attempts{"AWS_MAX_ATTEMPTS", "1"};
    ScopedEnv configFile{"AWS_CONFIG_FILE", "/dev/null"};
    ScopedEnv credentialsFile{"AWS_SHARED_CREDENTIALS_FILE", "/dev/null"};
    ScopedEnv defaultRegion{"AWS_DEFAULT_REGION", "sa-east-1"};
    ScopedEnv region{"AWS_REGION", std::nullopt};
};
MotoServer* InstanceSetup::moto = nullptr;
FaultProxy* InstanceSetup::proxy = nullptr;

TEST_F(InstanceSetup, TreskoAsksForKeysRegionsInOrderAndReportsEachMissingOne) {
    PluginLibrary lib("Tresko");
    ScopedEnv endpoint("AWS_ENDPOINT_URL_S3", proxy->Url());
    {
        RecordingLog log;
        MapLink link;
        SetKeys(link);
        link.Set(L"Region", L"eu-west-2");
        link.Set(L"FallbackRegion", L"eu-west-3");
        WriteInstance instance(lib.GetBackupDataWrite(&log, &link));
        ASSERT_NE(instance, nullptr);
        EXPECT_EQ(link.Asked(), (std::vector<std::wstring>{L"AccessKeyID", L"SecretAccessKey",
                                                           L"Region", L"FallbackRegion"}));
        EXPECT_TRUE(log.Lines().empty());
        // No instance-wide client: the bucket list goes out through a client for `Region`.
        const auto listings = ListBucketsRequests(*proxy);
        ASSERT_EQ(listings.size(), 1u);
        EXPECT_EQ(CredentialScope(listings[0]), "setup-key/eu-west-2");
    }
    {
        RecordingLog log;
        MapLink link;
        link.Set(L"AccessKeyID", L"setup-key");
        WriteInstance instance(lib.GetBackupDataWrite(&log, &link));
        ASSERT_NE(instance, nullptr);
        // One line per parameter the host does not know: SecretAccessKey, Region, FallbackRegion.
        const std::vector<std::string> expected(3, "Server can not find specific parameter");
        const std::vector<std::string> texts = log.Texts();
        ASSERT_EQ(texts, expected);
        for (const auto& line : log.Lines()) EXPECT_EQ(line.severity, 2);
    }
}

TEST_F(InstanceSetup, MardelAsksForServerKeysThenRegionAndTalksToTheServerNamed) {
    PluginLibrary lib("Mardel");
    RecordingLog log;
    MapLink link;
    link.Set(L"ServerName", ProxyUrl());
    SetKeys(link);
    WriteInstance instance(lib.GetBackupDataWrite(&log, &link));
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(link.Asked(), (std::vector<std::wstring>{L"ServerName", L"AccessKeyID",
                                                       L"SecretAccessKey", L"Region"}));
    // A missing Region is not reported: only one deliverable reports missing parameters.
    EXPECT_TRUE(log.Lines().empty());
    const auto listings = ListBucketsRequests(*proxy);
    ASSERT_EQ(listings.size(), 1u);
    // Region empty: the SDK's default region, here the one the environment gives.
    EXPECT_EQ(CredentialScope(listings[0]), "setup-key/sa-east-1");
}

TEST_F(InstanceSetup, MardelSignsForTheRegionParameterWhenItIsSet) {
    PluginLibrary lib("Mardel");
    RecordingLog log;
    MapLink link;
    link.Set(L"ServerName", ProxyUrl());
    link.Set(L"Region", L"eu-central-1");
    SetKeys(link);
    WriteInstance instance(lib.GetBackupDataWrite(&log, &link));
    const auto listings = ListBucketsRequests(*proxy);
    ASSERT_EQ(listings.size(), 1u);
    EXPECT_EQ(CredentialScope(listings[0]), "setup-key/eu-central-1");
}

TEST_F(InstanceSetup, PennatUsesItsFixedEndpointAndIgnoresServerNameAndRegion) {
    PluginLibrary lib("PennatLoopback");
    // The port is built into the plug-in; another test binary may be holding it a moment.
    std::unique_ptr<FaultProxy> held;
    for (int attempt = 0; held == nullptr; ++attempt) {
        try {
            held = std::make_unique<FaultProxy>(moto->Url(), testhost::FixedEndpointPort());
        } catch (const std::runtime_error&) {
            if (attempt == 300) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    FaultProxy& fixed = *held;
    RecordingLog log;
    MapLink link;
    link.Set(L"ServerName", ProxyUrl());  // the suite's proxy must see nothing
    link.Set(L"Region", L"ap-northeast-2");
    link.Set(L"UserName", L"not-this-one");
    link.Set(L"AccessKeyID", L"pennat-key");
    link.Set(L"SecretAccessKey", L"pennat-secret");
    WriteInstance instance(lib.GetBackupDataWrite(&log, &link));
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(link.Asked(), (std::vector<std::wstring>{L"AccessKeyID", L"SecretAccessKey"}));
    EXPECT_TRUE(proxy->Requests().empty());
    const auto listings = ListBucketsRequests(fixed);
    ASSERT_EQ(listings.size(), 1u);
    EXPECT_EQ(CredentialScope(listings[0]), "pennat-key/sa-east-1");
}

class ExportedEndpoint : public InstanceSetup, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExportedEndpoint, ReadsUserNameAndPasswordAndTheEndpointAsItIsAtEachConstruction) {
    PluginLibrary lib(GetParam());
    FaultProxy second(moto->Url());
    MapLink link;
    link.Set(L"AccessKeyID", L"not-this-one");
    link.Set(L"SecretAccessKey", L"not-this-one");
    link.Set(L"UserName", L"box-user");
    link.Set(L"Password", L"box-password");
    link.Set(L"ServerName", L"http://127.0.0.1:9");
    RecordingLog log;

    WriteInstance first;
    {
        ScopedEndpoint endpoint(lib, proxy->Url());
        first.reset(lib.GetBackupDataWrite(&log, &link));
    }
    EXPECT_EQ(link.Asked(), (std::vector<std::wstring>{L"UserName", L"Password"}));
    WriteInstance later;
    {
        ScopedEndpoint endpoint(lib, second.Url());
        later.reset(lib.GetBackupDataWrite(&log, &link));
    }
    EXPECT_TRUE(log.Lines().empty());

    const auto atFirst = ListBucketsRequests(*proxy);
    const auto atSecond = ListBucketsRequests(second);
    ASSERT_EQ(atFirst.size(), 1u);
    ASSERT_EQ(atSecond.size(), 1u);
    EXPECT_EQ(CredentialScope(atFirst[0]), "box-user/sa-east-1");
    EXPECT_EQ(CredentialScope(atSecond[0]), "box-user/sa-east-1");
}

TEST_P(ExportedEndpoint, ANullEndpointMeansNoOverride) {
    PluginLibrary lib(GetParam());
    // Without an override the configured endpoint of the environment applies.
    ScopedEnv configured("AWS_ENDPOINT_URL_S3", proxy->Url());
    ScopedEndpoint endpoint(lib, std::nullopt);
    MapLink link;
    SetKeys(link);
    RecordingLog log;
    WriteInstance instance(lib.GetBackupDataWrite(&log, &link));
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(ListBucketsRequests(*proxy).size(), 1u);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_P(ExportedEndpoint, NoParameterIsReportedMissing) {
    PluginLibrary lib(GetParam());
    ScopedEndpoint endpoint(lib, proxy->Url());
    MapLink link;
    RecordingLog log;
    WriteInstance instance(lib.GetBackupDataWrite(&log, &link));
    ASSERT_NE(instance, nullptr);
    EXPECT_FALSE(log.Contains("Server can not find specific parameter"));
    EXPECT_EQ(link.Asked(), (std::vector<std::wstring>{L"UserName", L"Password"}));
}

INSTANTIATE_TEST_SUITE_P(HotAndCold, ExportedEndpoint, ::testing::Values("Ruvast", "Golmer"));

// "Cannot get buckets listing." then the six fields of the error and its headers, all at
// severity 2.
void ExpectBucketListingFailureReport(const RecordingLog& log, const std::string& responseCode) {
    const std::vector<std::string> texts = log.Texts();
    ASSERT_GE(texts.size(), 7u) << ::testing::PrintToString(texts);
    EXPECT_EQ(texts[0], "Cannot get buckets listing.");
    const char* fields[] = {"ErrorType: ",           "ExceptionName: ", "Message: ",
                            "RemoteHostIpAddress: ", "RequestId: ",     "ResponseCode: "};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(texts[1 + i].rfind(fields[i], 0), 0u) << texts[1 + i];
    }
    if (!responseCode.empty()) {
        EXPECT_EQ(texts[6], "ResponseCode: " + responseCode);
    }
    for (const auto& line : log.Lines()) EXPECT_EQ(line.severity, 2) << line.text;
}

TEST_F(InstanceSetup, AForbiddenBucketListingIsReportedAndTheInstanceStillReturned) {
    PluginLibrary lib("Mardel");
    FaultRule rule;
    rule.method = "GET";
    rule.pathRegex = "^/(\\?.*)?$";
    rule.status = 403;
    rule.errorCode = "AccessDenied";
    rule.errorMessage = "Access Denied";
    proxy->AddRule(rule);

    RecordingLog log;
    MapLink link;
    link.Set(L"ServerName", ProxyUrl());
    SetKeys(link);
    WriteInstance instance(lib.GetBackupDataWrite(&log, &link));
    ASSERT_NE(instance, nullptr);
    ExpectBucketListingFailureReport(log, "403");
    const std::vector<std::string> texts = log.Texts();
    EXPECT_EQ(texts[1], "ErrorType: 15");
    EXPECT_EQ(texts[2], "ExceptionName: AccessDenied");
    EXPECT_EQ(texts[3], "Message: Access Denied");
    // The headers follow the response code in ascending order of name.
    std::vector<std::string> headerNames;
    for (auto line = texts.begin() + 7; line != texts.end(); ++line) {
        headerNames.push_back(line->substr(0, line->find(": ")));
    }
    EXPECT_FALSE(headerNames.empty());
    EXPECT_TRUE(std::is_sorted(headerNames.begin(), headerNames.end()))
        << ::testing::PrintToString(headerNames);
}

TEST_F(InstanceSetup, AnUnreachableEndpointIsReportedAndTheInstanceStillReturned) {
    PluginLibrary lib("Mardel");
    RecordingLog log;
    MapLink link;
    link.Set(L"ServerName", L"http://127.0.0.1:9");  // the discard port: nothing listens there
    SetKeys(link);
    WriteInstance instance(lib.GetBackupDataWrite(&log, &link));
    ASSERT_NE(instance, nullptr);
    ExpectBucketListingFailureReport(log, "");
}

TEST_F(InstanceSetup, TreskoReportsAFailedBucketListingToo) {
    PluginLibrary lib("Tresko");
    ScopedEnv endpoint("AWS_ENDPOINT_URL_S3", proxy->Url());
    FaultRule rule;
    rule.method = "GET";
    rule.pathRegex = "^/(\\?.*)?$";
    rule.status = 403;
    rule.errorCode = "InvalidAccessKeyId";
    rule.errorMessage = "The AWS Access Key Id you provided does not exist in our records.";
    proxy->AddRule(rule);
    RecordingLog log;
    MapLink link;
    SetKeys(link);
    link.Set(L"Region", L"eu-west-1");
    link.Set(L"FallbackRegion", L"eu-west-1");
    WriteInstance instance(lib.GetBackupDataWrite(&log, &link));
    ASSERT_NE(instance, nullptr);
    ExpectBucketListingFailureReport(log, "403");
}

TEST_F(InstanceSetup, TwoInstancesLiveSideBySideAndOutliveEachOther) {
    S3Admin admin(moto->Url());
    const std::string bucket = admin.UniqueBucketName("setup-two");
    admin.CreateBucket(bucket);
    admin.PutObject(bucket, "inside/file.bak", "data");

    PluginLibrary lib("Mardel");
    RecordingLog log;
    MapLink link;
    link.Set(L"ServerName", ProxyUrl());
    SetKeys(link);
    WriteInstance writer(lib.GetBackupDataWrite(&log, &link));
    ReadInstance reader(lib.GetBackupDataRead(&log, &link));
    ASSERT_NE(writer, nullptr);
    ASSERT_NE(reader, nullptr);

    std::list<CFileInfo> fromWriter;
    std::list<CFileInfo> fromReader;
    ASSERT_EQ(writer->GetListing(L"", fromWriter), Success);
    ASSERT_EQ(reader->GetListing(L"", fromReader), Success);
    EXPECT_EQ(Names(fromWriter), Names(fromReader));
    EXPECT_TRUE(HasName(fromReader, bucket));

    writer.reset();
    // The read instance, reached through its virtual base, still has its own client.
    proxy->ClearRequests();
    std::list<CFileInfo> inside;
    ASSERT_EQ(reader->GetListing(std::wstring(bucket.begin(), bucket.end()), inside), Success);
    EXPECT_TRUE(HasName(inside, "inside"));
    EXPECT_FALSE(proxy->Requests().empty());
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(InstanceSetup, InstancesOfDifferentDeliverablesShareAProcess) {
    PluginLibrary mardel("Mardel");
    PluginLibrary ruvast("Ruvast");
    ScopedEndpoint endpoint(ruvast, proxy->Url());
    RecordingLog log;
    MapLink link;
    link.Set(L"ServerName", ProxyUrl());
    SetKeys(link);
    WriteInstance a(mardel.GetBackupDataWrite(&log, &link));
    WriteInstance b(ruvast.GetBackupDataWrite(&log, &link));
    a.reset();
    std::list<CFileInfo> buckets;
    EXPECT_EQ(b->GetListing(L"", buckets), Success);
    EXPECT_EQ(ListBucketsRequests(*proxy).size(), 2u);
}

TEST_F(InstanceSetup, HundredInstancesComeAndGo) {
    PluginLibrary lib("Mardel");
    MapLink link;
    link.Set(L"ServerName", ProxyUrl());
    SetKeys(link);
    RecordingLog log;
    for (int i = 0; i < 100; ++i) {
        if (i % 2 == 0) {
            WriteInstance instance(lib.GetBackupDataWrite(&log, &link));
            ASSERT_NE(instance, nullptr);
        } else {
            ReadInstance instance(lib.GetBackupDataRead(&log, &link));
            ASSERT_NE(instance, nullptr);
        }
    }
    // Each one set itself up completely: one bucket listing apiece.
    EXPECT_EQ(ListBucketsRequests(*proxy).size(), 100u);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(InstanceSetup, TheInterfaceDefaultsAreKept) {
    PluginLibrary lib("Mardel");
    RecordingLog log;
    MapLink link;
    link.Set(L"ServerName", ProxyUrl());
    SetKeys(link);
    WriteInstance instance(lib.GetBackupDataWrite(&log, &link));
    proxy->ClearRequests();

    unsigned long total = 11;
    unsigned long free = 22;
    EXPECT_EQ(instance->GetDirectorySpaceInfo(L"", total, free), NotSupported);
    EXPECT_EQ(total, 11u);
    EXPECT_EQ(free, 22u);
    unsigned int batch = 33;
    EXPECT_EQ(instance->NewReadBatch(batch), NotSupported);
    EXPECT_EQ(batch, 33u);
    EXPECT_EQ(instance->AddToReadBatch(L"a", 1), NotSupported);
    EXPECT_EQ(instance->FlushReadBatch(1), NotSupported);
    EXPECT_EQ(instance->ReleaseReadBatch(1), NotSupported);
    EXPECT_EQ(instance->NewWriteBatch(batch), NotSupported);
    EXPECT_EQ(batch, 33u);
    EXPECT_EQ(instance->AddToWriteBatch(L"a", 1), NotSupported);
    EXPECT_EQ(instance->ReleaseWriteBatch(1), NotSupported);
    EXPECT_EQ(instance->EscapeIllegalSymbols(L""), L"");
    EXPECT_EQ(instance->EscapeIllegalSymbols(L"a\\b/c:d*e"), L"a\\b/c:d*e");
    EXPECT_TRUE(proxy->Requests().empty());
    EXPECT_TRUE(log.Lines().empty());
}

}  // namespace
