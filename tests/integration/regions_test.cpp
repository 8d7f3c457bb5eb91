// The per-bucket regions of the plug-in that serves every bucket from its own region: which
// region each request is signed for, and when a bucket's location is asked for. The plug-in
// has no endpoint setting of its own, so AWS_ENDPOINT_URL_S3 sends it to the local server
// through the fault proxy; the region a request was meant for is read from its signature.
#include <gtest/gtest.h>

#include <list>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "testhost/Testhost.h"
#include "torvik/Strings.h"

namespace {

using testhost::FaultAction;
using testhost::FaultRule;
using testhost::RecordedRequest;

struct InstanceDeleter {
    void operator()(IBackupDataRead* instance) const { instance->Destroy(); }
};
using Instance = std::unique_ptr<IBackupDataRead, InstanceDeleter>;

std::wstring Wide(const std::string& text) { return Torvik::strings::UTF8toWstr(text); }

// The region of the credential scope in the request's SigV4 Authorization header.
std::string SigningRegion(const RecordedRequest& request) {
    const auto header = request.headers.find("authorization");
    if (header == request.headers.end()) return "<unsigned>";
    std::smatch match;
    static const std::regex scope("Credential=[^/]+/\\d{8}/([^/]+)/s3/aws4_request");
    if (!std::regex_search(header->second, match, scope)) return "<no scope>";
    return match[1];
}

bool IsLocation(const RecordedRequest& request) {
    return request.method == "GET" && request.target.find("?location") != std::string::npos;
}

bool IsObjectListing(const RecordedRequest& request) {
    return request.method == "GET" && request.target.find("list-type=2") != std::string::npos;
}

bool IsBucketList(const RecordedRequest& request) {
    return request.method == "GET" && request.target == "/";
}

bool Concerns(const RecordedRequest& request, const std::string& bucket) {
    return request.target.rfind("/" + bucket + "?", 0) == 0 ||
           request.target.rfind("/" + bucket + "/", 0) == 0;
}

// Signing regions of the requests of one kind about one bucket, in order.
std::vector<std::string> SignedRegions(const std::vector<RecordedRequest>& requests,
                                       bool (*kind)(const RecordedRequest&),
                                       const std::string& bucket) {
    std::vector<std::string> regions;
    for (const auto& request : requests) {
        if (kind(request) && Concerns(request, bucket)) regions.push_back(SigningRegion(request));
    }
    return regions;
}

using Strings = std::vector<std::string>;

// Buckets of every kind of location constraint, made once for all tests.
class Regions : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        testhost::S3Admin setup(testhost::MotoServer::Shared().Url());
        unconstrained = setup.UniqueBucketName("plain");
        legacyEu = setup.UniqueBucketName("legacy-eu");
        frankfurt = setup.UniqueBucketName("frankfurt");
        oregon = setup.UniqueBucketName("oregon");
        setup.CreateBucket(unconstrained);
        setup.CreateBucket(legacyEu, "EU");
        setup.CreateBucket(frankfurt, "eu-central-1");
        setup.CreateBucket(oregon, "us-west-2");
        for (const auto& bucket : {unconstrained, legacyEu, frankfurt, oregon}) {
            setup.PutObject(bucket, "a/x.bak", "x");
            setup.PutObject(bucket, "top.bak", "t");
        }
    }

    Regions()
        : proxy(testhost::MotoServer::Shared().Url()),
          endpoint("AWS_ENDPOINT_URL_S3", proxy.Url()),
          lib("Tresko") {
        link.Set(L"AccessKeyID", L"AKIDREGIONS");
        link.Set(L"SecretAccessKey", L"regions-secret");
    }

    Instance Open() { return Instance(lib.GetBackupDataRead(&log, &link)); }

    testhost::FaultProxy proxy;
    testhost::ScopedEnv endpoint;
    testhost::PluginLibrary lib;
    testhost::RecordingLog log;
    testhost::MapLink link;

    static std::string unconstrained;
    static std::string legacyEu;
    static std::string frankfurt;
    static std::string oregon;
};
std::string Regions::unconstrained;
std::string Regions::legacyEu;
std::string Regions::frankfurt;
std::string Regions::oregon;

TEST_F(Regions, EmptyParametersServeEachBucketFromItsOwnRegion) {
    link.Set(L"Region", L"");
    link.Set(L"FallbackRegion", L"");
    Instance instance = Open();

    const auto setUp = proxy.Requests();
    ASSERT_EQ(setUp.size(), 1u);
    ASSERT_TRUE(IsBucketList(setUp[0]));
    EXPECT_EQ(SigningRegion(setUp[0]), "eu-west-1");

    for (const auto& bucket : {unconstrained, legacyEu, frankfurt, oregon}) {
        std::list<CFileInfo> entries;
        ASSERT_EQ(instance->GetListing(Wide(bucket), entries), Success) << bucket;
        EXPECT_EQ(entries.size(), 2u) << bucket;
    }
    const auto requests = proxy.Requests();
    // Locations are asked in the region of service requests...
    for (const auto& bucket : {unconstrained, legacyEu, frankfurt, oregon}) {
        EXPECT_EQ(SignedRegions(requests, IsLocation, bucket), Strings{"eu-west-1"}) << bucket;
    }
    // ...and each listing goes to the bucket's region: no constraint means us-east-1, "EU" is
    // the old name of eu-west-1.
    EXPECT_EQ(SignedRegions(requests, IsObjectListing, unconstrained), Strings{"us-east-1"});
    EXPECT_EQ(SignedRegions(requests, IsObjectListing, legacyEu), Strings{"eu-west-1"});
    EXPECT_EQ(SignedRegions(requests, IsObjectListing, frankfurt), Strings{"eu-central-1"});
    EXPECT_EQ(SignedRegions(requests, IsObjectListing, oregon), Strings{"us-west-2"});

    EXPECT_EQ(log.Texts(), Strings{"The bucket constraint location is NOT_SET: " + unconstrained});
}

TEST_F(Regions, ConfiguredRegionsAreUsedAsGiven) {
    link.Set(L"Region", L"us-west-1");
    link.Set(L"FallbackRegion", L"ap-south-1");
    Instance instance = Open();
    ASSERT_FALSE(proxy.Requests().empty());
    EXPECT_EQ(SigningRegion(proxy.Requests().front()), "us-west-1");

    for (const auto& bucket : {unconstrained, frankfurt}) {
        std::list<CFileInfo> entries;
        ASSERT_EQ(instance->GetListing(Wide(bucket), entries), Success) << bucket;
    }
    const auto requests = proxy.Requests();
    EXPECT_EQ(SignedRegions(requests, IsLocation, unconstrained), Strings{"us-west-1"});
    EXPECT_EQ(SignedRegions(requests, IsLocation, frankfurt), Strings{"us-west-1"});
    // The fallback serves only the bucket without a constraint.
    EXPECT_EQ(SignedRegions(requests, IsObjectListing, unconstrained), Strings{"ap-south-1"});
    EXPECT_EQ(SignedRegions(requests, IsObjectListing, frankfurt), Strings{"eu-central-1"});
}

TEST_F(Regions, AMissingFallbackParameterMeansUsEast1) {
    link.Set(L"Region", L"eu-central-1");  // FallbackRegion is unknown to the host
    Instance instance = Open();
    EXPECT_TRUE(log.Contains("Server can not find specific parameter"));
    std::list<CFileInfo> entries;
    ASSERT_EQ(instance->GetListing(Wide(unconstrained), entries), Success);
    EXPECT_EQ(SignedRegions(proxy.Requests(), IsObjectListing, unconstrained),
              Strings{"us-east-1"});
}

TEST_F(Regions, ABucketsLocationIsAskedOnce) {
    Instance instance = Open();
    std::list<CFileInfo> top;
    std::list<CFileInfo> a;
    ASSERT_EQ(instance->GetListing(Wide(oregon), top), Success);
    ASSERT_EQ(instance->GetListing(Wide(oregon + "\\a"), a), Success);
    CFileAttributes attributes;
    ASSERT_EQ(instance->GetElementAttributes(Wide(oregon + "\\a\\x.bak"), attributes), Success);

    const auto requests = proxy.Requests();
    EXPECT_EQ(SignedRegions(requests, IsLocation, oregon).size(), 1u);
    EXPECT_EQ(SignedRegions(requests, IsObjectListing, oregon),
              (Strings{"us-west-2", "us-west-2"}));
}

TEST_F(Regions, AFailedLocationIsAskedAgain) {
    testhost::ScopedEnv mode("AWS_RETRY_MODE", "standard");
    testhost::ScopedEnv attempts("AWS_MAX_ATTEMPTS", "1");
    Instance instance = Open();
    proxy.AddRule(FaultRule{"GET", "\\?location", 1, 1, FaultAction::Status, 403, "AccessDenied",
                            "Access Denied"});
    log.Clear();

    std::list<CFileInfo> entries;
    EXPECT_EQ(instance->GetListing(Wide(frankfurt), entries), Failure);
    EXPECT_TRUE(entries.empty());
    ASSERT_FALSE(log.Lines().empty());
    EXPECT_EQ(log.Lines().front().text, "Cannot get bucket region " + frankfurt);
    EXPECT_TRUE(log.Contains("AccessDenied"));
    EXPECT_TRUE(SignedRegions(proxy.Requests(), IsObjectListing, frankfurt).empty());

    ASSERT_EQ(instance->GetListing(Wide(frankfurt), entries), Success);
    const auto requests = proxy.Requests();
    EXPECT_EQ(SignedRegions(requests, IsLocation, frankfurt).size(), 2u);
    EXPECT_EQ(SignedRegions(requests, IsObjectListing, frankfurt), Strings{"eu-central-1"});
}

TEST_F(Regions, ABucketNotInTheCacheFailsWithoutARequest) {
    Instance instance = Open();
    testhost::S3Admin admin(testhost::MotoServer::Shared().Url());
    const std::string late = admin.UniqueBucketName("late");
    admin.CreateBucket(late, "us-west-2");
    admin.PutObject(late, "a/x.bak", "x");
    proxy.ClearRequests();
    log.Clear();

    std::list<CFileInfo> entries;
    EXPECT_EQ(instance->GetListing(Wide(late), entries), Failure);
    CFileAttributes attributes;
    EXPECT_EQ(instance->GetElementAttributes(Wide(late + "\\a\\x.bak"), attributes), Failure);
    EXPECT_TRUE(entries.empty());
    EXPECT_TRUE(proxy.Requests().empty());
    EXPECT_TRUE(log.Lines().empty());
}

}  // namespace
