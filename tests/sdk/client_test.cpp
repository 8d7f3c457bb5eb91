// Every operation against moto_server on loopback, over plain HTTP and over TLS: what comes
// back, what went out (through the fault proxy), and the error objects of the usual failures.
#include <aws/core/utils/memory/stl/AWSStringStream.h>
#include <aws/s3/S3Client.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iterator>
#include <random>
#include <thread>

#include "SdkTest.h"

using namespace Aws::S3;
using namespace Aws::S3::Model;
using sdktest::ClientOptions;
using sdktest::MakeClient;

namespace {
std::shared_ptr<Aws::IOStream> Body(const std::string& data) {
    return std::make_shared<Aws::StringStream>(data);
}

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(random());
    return data;
}

std::string ReadAll(Aws::IOStream& stream) {
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

PutObjectOutcome Put(const S3Client& client, const std::string& bucket, const std::string& key,
                     const std::string& data) {
    PutObjectRequest request;
    request.WithBucket(bucket).WithKey(key);
    request.SetBody(Body(data));
    return client.PutObject(request);
}

std::string Get(const S3Client& client, const std::string& bucket, const std::string& key) {
    auto outcome = client.GetObject(GetObjectRequest().WithBucket(bucket).WithKey(key));
    EXPECT_TRUE(outcome.IsSuccess()) << key << ": " << outcome.GetError().GetMessage();
    if (!outcome.IsSuccess()) return "<failed>";
    GetObjectResult result = outcome.GetResultWithOwnership();
    return ReadAll(result.GetBody());
}

const std::vector<std::string> kAwkwardKeys = {
    "with space",
    "plus+sign",
    "100%",
    "what?",
    "hash#tag",
    "a&b=c",
    "dollar$,:@",
    "\xc3\xa9t\xc3\xa9/\xe6\x97\xa5\xe6\x9c\xac",
    "dir/./dot",
    "dir/../dotdot",
    "double//slash",
    "trailing/",
    "  leading spaces",
    "tab\tand~tilde",
    "quote\"'<>",
    "amp&amp;lt;",
};
}  // namespace

class Operations : public sdktest::MotoTest {};

TEST_F(Operations, AwkwardKeysRoundTripExactly) {
    S3Client client = MakeClient(ClientOptions(Http().Url()));
    const std::string bucket = NewBucket(Http());
    for (const std::string& key : kAwkwardKeys) {
        auto put = Put(client, bucket, key, "data of " + key);
        ASSERT_TRUE(put.IsSuccess()) << key << ": " << put.GetError().GetMessage();
        EXPECT_FALSE(put.GetResult().GetETag().empty());
    }
    auto list = client.ListObjectsV2(ListObjectsV2Request().WithBucket(bucket));
    ASSERT_TRUE(list.IsSuccess()) << list.GetError().GetMessage();
    std::set<std::string> listed;
    for (const auto& object : list.GetResult().GetContents()) listed.insert(object.GetKey());
    EXPECT_EQ(listed, std::set<std::string>(kAwkwardKeys.begin(), kAwkwardKeys.end()));
    for (const std::string& key : kAwkwardKeys) {
        EXPECT_EQ(Get(client, bucket, key), "data of " + key) << key;
        auto one = client.ListObjectsV2(ListObjectsV2Request().WithBucket(bucket).WithPrefix(key));
        ASSERT_TRUE(one.IsSuccess());
        ASSERT_FALSE(one.GetResult().GetContents().empty()) << key;
        EXPECT_EQ(one.GetResult().GetContents()[0].GetKey(), key);
    }
    for (const std::string& key : kAwkwardKeys) {
        EXPECT_TRUE(
            client.DeleteObject(DeleteObjectRequest().WithBucket(bucket).WithKey(key)).IsSuccess());
    }
    auto empty = client.ListObjectsV2(ListObjectsV2Request().WithBucket(bucket));
    EXPECT_TRUE(empty.GetResult().GetContents().empty());
}

TEST_F(Operations, ListingPagesPastAThousandKeysAndRollsUpPrefixes) {
    S3Client client = MakeClient(ClientOptions(Http().Url()));
    const std::string bucket = NewBucket(Http());
    const int kKeys = 1003;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&, t] {
            S3Client copy = client;  // copies share the pool
            for (int i = t; i < kKeys; i += 4) {
                char key[32];
                std::snprintf(key, sizeof(key), "k/%05d", i);
                EXPECT_TRUE(Put(copy, bucket, key, "x").IsSuccess());
            }
        });
    }
    for (auto& writer : writers) writer.join();
    ASSERT_TRUE(Put(client, bucket, "top.txt", "12345").IsSuccess());
    ASSERT_TRUE(Put(client, bucket, "other/a", "").IsSuccess());

    std::vector<std::string> keys;
    ListObjectsV2Request request;
    request.WithBucket(bucket).WithPrefix("k/");
    int pages = 0;
    while (true) {
        auto page = client.ListObjectsV2(request);
        ASSERT_TRUE(page.IsSuccess()) << page.GetError().GetMessage();
        ++pages;
        const auto& result = page.GetResult();
        EXPECT_EQ(result.GetKeyCount(), static_cast<int>(result.GetContents().size()));
        for (const auto& object : result.GetContents()) keys.push_back(object.GetKey());
        if (!result.GetIsTruncated()) break;
        ASSERT_FALSE(result.GetNextContinuationToken().empty());
        request.SetContinuationToken(result.GetNextContinuationToken());
    }
    EXPECT_EQ(pages, 2);
    ASSERT_EQ(keys.size(), static_cast<size_t>(kKeys));
    EXPECT_EQ(keys.front(), "k/00000");
    EXPECT_EQ(keys.back(), "k/01002");

    auto top = client.ListObjectsV2(ListObjectsV2Request().WithBucket(bucket).WithDelimiter("/"));
    ASSERT_TRUE(top.IsSuccess());
    std::vector<std::string> prefixes;
    for (const auto& p : top.GetResult().GetCommonPrefixes()) prefixes.push_back(p.GetPrefix());
    EXPECT_EQ(prefixes, (std::vector<std::string>{"k/", "other/"}));
    ASSERT_EQ(top.GetResult().GetContents().size(), 1u);
    const Object& object = top.GetResult().GetContents()[0];
    EXPECT_EQ(object.GetKey(), "top.txt");
    EXPECT_EQ(object.GetSize(), 5);
    EXPECT_EQ(object.GetETag().front(), '"');
    EXPECT_EQ(object.GetLastModified().Millis() % 1000, 0);
    EXPECT_LT(std::abs(object.GetLastModified().Seconds() - Aws::Utils::DateTime::Now().Seconds()),
              600);
}

TEST_F(Operations, BucketListingAndLocationConstraints) {
    S3Client client = MakeClient(ClientOptions(Http().Url()));
    const std::string plain = NewBucket(Http());
    const std::string eu = NewBucket(Http(), "EU");
    const std::string frankfurt = NewBucket(Http(), "eu-central-1");
    auto buckets = client.ListBuckets();
    ASSERT_TRUE(buckets.IsSuccess()) << buckets.GetError().GetMessage();
    std::set<std::string> names;
    for (const auto& b : buckets.GetResult().GetBuckets()) {
        names.insert(b.GetName());
        EXPECT_GT(b.GetCreationDate().Millis(), 0);
    }
    EXPECT_TRUE(names.count(plain) && names.count(eu) && names.count(frankfurt));

    auto location = [&](const std::string& bucket) {
        auto outcome = client.GetBucketLocation(GetBucketLocationRequest().WithBucket(bucket));
        EXPECT_TRUE(outcome.IsSuccess()) << outcome.GetError().GetMessage();
        return outcome.GetResult().GetLocationConstraint();
    };
    EXPECT_EQ(location(plain), BucketLocationConstraint::NOT_SET);
    EXPECT_EQ(location(eu), BucketLocationConstraint::EU);
    EXPECT_EQ(location(frankfurt), BucketLocationConstraint::eu_central_1);
}

TEST_F(Operations, MultipartUploadRoundTripAndAbort) {
    S3Client client = MakeClient(ClientOptions(Http().Url()));
    const std::string bucket = NewBucket(Http());
    const std::string first = RandomBytes(5 * 1024 * 1024, 1);
    const std::string second = RandomBytes(1234, 2);
    auto created = client.CreateMultipartUpload(
        CreateMultipartUploadRequest().WithBucket(bucket).WithKey("big/file bin"));
    ASSERT_TRUE(created.IsSuccess()) << created.GetError().GetMessage();
    const std::string uploadId = created.GetResult().GetUploadId();
    ASSERT_FALSE(uploadId.empty());

    CompletedMultipartUpload parts;
    int number = 0;
    for (const std::string* data : {&first, &second}) {
        UploadPartRequest part;
        part.WithBucket(bucket)
            .WithKey("big/file bin")
            .WithUploadId(uploadId)
            .WithPartNumber(++number);
        part.SetBody(Body(*data));
        auto uploaded = client.UploadPart(part);
        ASSERT_TRUE(uploaded.IsSuccess()) << uploaded.GetError().GetMessage();
        parts.AddParts(
            CompletedPart().WithETag(uploaded.GetResult().GetETag()).WithPartNumber(number));
    }
    auto completed = client.CompleteMultipartUpload(CompleteMultipartUploadRequest()
                                                        .WithBucket(bucket)
                                                        .WithKey("big/file bin")
                                                        .WithUploadId(uploadId)
                                                        .WithMultipartUpload(parts));
    ASSERT_TRUE(completed.IsSuccess()) << completed.GetError().GetMessage();
    EXPECT_FALSE(completed.GetResult().GetETag().empty());
    EXPECT_EQ(Get(client, bucket, "big/file bin"), first + second);

    auto other = client.CreateMultipartUpload(
        CreateMultipartUploadRequest().WithBucket(bucket).WithKey("abandoned"));
    ASSERT_TRUE(other.IsSuccess());
    EXPECT_TRUE(client
                    .AbortMultipartUpload(AbortMultipartUploadRequest()
                                              .WithBucket(bucket)
                                              .WithKey("abandoned")
                                              .WithUploadId(other.GetResult().GetUploadId()))
                    .IsSuccess());
    auto gone = client.AbortMultipartUpload(
        AbortMultipartUploadRequest().WithBucket(bucket).WithKey("abandoned").WithUploadId("nope"));
    ASSERT_FALSE(gone.IsSuccess());
    EXPECT_EQ(gone.GetError().GetErrorType(), S3Errors::NO_SUCH_UPLOAD);
}

TEST_F(Operations, RangedGetIntoTheCallersStream) {
    S3Client client = MakeClient(ClientOptions(Http().Url()));
    const std::string bucket = NewBucket(Http());
    ASSERT_TRUE(Put(client, bucket, "r", "0123456789abcdef").IsSuccess());
    Aws::StringStream* target = nullptr;
    GetObjectRequest request;
    request.WithBucket(bucket).WithKey("r").WithRange("bytes=2-5");
    request.SetResponseStreamFactory([&target] { return target = new Aws::StringStream(); });
    auto outcome = client.GetObject(request);
    ASSERT_TRUE(outcome.IsSuccess()) << outcome.GetError().GetMessage();
    GetObjectResult result = outcome.GetResultWithOwnership();
    EXPECT_EQ(&result.GetBody(), static_cast<Aws::IOStream*>(target));
    EXPECT_EQ(ReadAll(result.GetBody()), "2345");
    EXPECT_EQ(result.GetContentLength(), 4);
    EXPECT_EQ(result.GetContentRange(), "bytes 2-5/16");
}

TEST_F(Operations, ErrorObjectsForMissingBucketAndKey) {
    S3Client client = MakeClient(ClientOptions(Http().Url()));
    const std::string bucket = NewBucket(Http());
    auto noBucket = client.ListObjectsV2(ListObjectsV2Request().WithBucket("no-such-bucket-here"));
    ASSERT_FALSE(noBucket.IsSuccess());
    const S3Error& bucketError = noBucket.GetError();
    EXPECT_EQ(bucketError.GetErrorType(), S3Errors::NO_SUCH_BUCKET);
    EXPECT_EQ(bucketError.GetExceptionName(), "NoSuchBucket");
    EXPECT_EQ(bucketError.GetMessage(), "The specified bucket does not exist");
    EXPECT_EQ(bucketError.GetResponseCode(), Aws::Http::HttpResponseCode::NOT_FOUND);
    EXPECT_EQ(bucketError.GetRemoteHostIpAddress(), "127.0.0.1");
    EXPECT_FALSE(bucketError.ShouldRetry());
    EXPECT_EQ(noBucket.GetRetryCount(), 0u);
    for (const auto& header : bucketError.GetResponseHeaders()) {
        EXPECT_EQ(header.first, Aws::Utils::StringUtils::ToLower(header.first.c_str()));
    }

    auto noKey = client.GetObject(GetObjectRequest().WithBucket(bucket).WithKey("missing"));
    ASSERT_FALSE(noKey.IsSuccess());
    EXPECT_EQ(noKey.GetError().GetErrorType(), S3Errors::NO_SUCH_KEY);
    EXPECT_EQ(noKey.GetError().GetExceptionName(), "NoSuchKey");
    EXPECT_EQ(noKey.GetError().GetResponseCode(), Aws::Http::HttpResponseCode::NOT_FOUND);
}

TEST_F(Operations, MissingFieldsAreRefusedBeforeAnyTraffic) {
    // A closed port: any request that went out would fail with a connection error instead.
    S3Client client = MakeClient(
        ClientOptions("http://127.0.0.1:" + std::to_string(sdktest::FreeLoopbackPort())));
    auto check = [](const S3Error& error, const std::string& field) {
        EXPECT_EQ(error.GetErrorType(), S3Errors::MISSING_PARAMETER);
        EXPECT_EQ(error.GetExceptionName(), "MISSING_PARAMETER");
        EXPECT_EQ(error.GetMessage(), "Missing required field [" + field + "]");
        EXPECT_EQ(error.GetResponseCode(), Aws::Http::HttpResponseCode::REQUEST_NOT_MADE);
        EXPECT_FALSE(error.ShouldRetry());
    };
    check(client.GetObject(GetObjectRequest().WithBucket("b").WithKey("")).GetError(), "Key");
    check(client.PutObject(PutObjectRequest().WithBucket("b")).GetError(), "Key");
    check(client.DeleteObject(DeleteObjectRequest().WithKey("k")).GetError(), "Bucket");
    check(client.ListObjectsV2(ListObjectsV2Request()).GetError(), "Bucket");
    check(client.UploadPart(UploadPartRequest().WithBucket("b").WithKey("k").WithUploadId("u"))
              .GetError(),
          "PartNumber");
    check(
        client
            .CompleteMultipartUpload(CompleteMultipartUploadRequest().WithBucket("b").WithKey("k"))
            .GetError(),
        "UploadId");
    check(client.AbortMultipartUpload(AbortMultipartUploadRequest().WithBucket("b").WithKey("k"))
              .GetError(),
          "UploadId");
    check(client.GetBucketLocation(GetBucketLocationRequest()).GetError(), "Bucket");
}

// Small bodies go at once; from 1 MiB on the client waits for the server's 100 Continue, so
// that a refused request costs no upload.
TEST_F(Operations, OnlyLargeBodiesWaitForContinue) {
    sdktest::FaultProxy proxy(Http().Url());
    const std::string bucket = NewBucket(Http());
    S3Client client = MakeClient(ClientOptions(proxy.Url()));
    const size_t mib = 1024 * 1024;
    for (size_t size : {size_t{0}, size_t{100}, mib - 1, mib, 3 * mib}) {
        proxy.ClearRequests();
        ASSERT_TRUE(Put(client, bucket, "expect", std::string(size, 'e')).IsSuccess()) << size;
        const auto requests = proxy.Requests();
        ASSERT_EQ(requests.size(), 1u);
        const auto expect = requests[0].headers.find("expect");
        if (size >= mib) {
            ASSERT_NE(expect, requests[0].headers.end()) << size;
            EXPECT_EQ(expect->second, "100-continue");
        } else {
            EXPECT_EQ(expect, requests[0].headers.end()) << size;
        }
    }
}

TEST_F(Operations, RequestsOnTheWireUnderBothChecksumSettings) {
    sdktest::FaultProxy proxy(Http().Url());
    const std::string bucket = NewBucket(Http());
    for (auto setting : {Aws::Client::RequestChecksumCalculation::WHEN_SUPPORTED,
                         Aws::Client::RequestChecksumCalculation::WHEN_REQUIRED}) {
        ClientOptions options{proxy.Url()};
        options.checksums = setting;
        S3Client client = MakeClient(options);
        proxy.ClearRequests();
        ASSERT_TRUE(Put(client, bucket, "dir/a b", "123456789").IsSuccess());
        auto list = client.ListObjectsV2(ListObjectsV2Request()
                                             .WithBucket(bucket)
                                             .WithPrefix("dir/")
                                             .WithDelimiter("/")
                                             .WithMaxKeys(5));
        ASSERT_TRUE(list.IsSuccess());
        EXPECT_EQ(Get(client, bucket, "dir/a b"), "123456789");
        auto requests = proxy.Requests();
        ASSERT_EQ(requests.size(), 3u);

        const auto& put = requests[0];
        EXPECT_EQ(put.method, "PUT");
        EXPECT_EQ(put.target, "/" + bucket + "/dir/a%20b");
        EXPECT_EQ(put.headers.at("content-type"), "binary/octet-stream");
        EXPECT_EQ(put.headers.at("content-length"), "9");
        EXPECT_EQ(put.headers.at("x-amz-content-sha256"),
                  "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225");
        EXPECT_EQ(put.body, "123456789");
        EXPECT_EQ(put.headers.count("x-amz-api-version"), 0u);
        const bool supported = setting == Aws::Client::RequestChecksumCalculation::WHEN_SUPPORTED;
        EXPECT_EQ(put.headers.count("x-amz-checksum-crc64nvme"), supported ? 1u : 0u);
        EXPECT_EQ(put.headers.count("x-amz-sdk-checksum-algorithm"), supported ? 1u : 0u);
        if (supported) {
            EXPECT_EQ(put.headers.at("x-amz-checksum-crc64nvme"), "rosUhgp5mIg=");
            EXPECT_EQ(put.headers.at("x-amz-sdk-checksum-algorithm"), "CRC64NVME");
        }
        EXPECT_EQ(put.headers.count("content-md5"), 0u);
        EXPECT_EQ(put.headers.at("amz-sdk-request"), "attempt=1");
        EXPECT_NE(put.headers.at("user-agent").find("aws-sdk-cpp/"), std::string::npos);
        EXPECT_NE(put.headers.at("user-agent").find(" api/S3 "), std::string::npos);

        const auto& listed = requests[1];
        EXPECT_EQ(listed.target,
                  "/" + bucket + "?list-type=2&delimiter=%2F&max-keys=5&prefix=dir%2F");
        EXPECT_EQ(listed.headers.at("content-type"), "application/xml");
        EXPECT_EQ(listed.headers.at("x-amz-api-version"), "2006-03-01");
        EXPECT_EQ(listed.headers.count("content-length"), 0u);

        EXPECT_EQ(requests[2].headers.at("x-amz-checksum-mode"), "enabled");
        EXPECT_NE(put.headers.at("amz-sdk-invocation-id"),
                  requests[2].headers.at("amz-sdk-invocation-id"));
    }
    S3Client client = MakeClient(ClientOptions(proxy.Url()));
    proxy.ClearRequests();
    auto created = client.CreateMultipartUpload(
        CreateMultipartUploadRequest().WithBucket(bucket).WithKey("m"));
    ASSERT_TRUE(created.IsSuccess());
    ASSERT_TRUE(
        client.GetBucketLocation(GetBucketLocationRequest().WithBucket(bucket)).IsSuccess());
    auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/" + bucket + "/m?uploads");
    EXPECT_EQ(requests[0].headers.at("content-length"), "0");
    EXPECT_EQ(requests[1].target, "/" + bucket + "?location");
}

class OverTls : public sdktest::MotoTest {};

TEST_F(OverTls, UnsignedPayloadWithoutChecksums) {
    sdktest::MotoServer& server = Tls();
    ClientOptions options{server.Url(), server.CaFile()};
    options.checksums = Aws::Client::RequestChecksumCalculation::WHEN_REQUIRED;
    S3Client client = MakeClient(options);
    const std::string bucket = NewBucket(server);
    ASSERT_TRUE(Put(client, bucket, "plain", "over tls").IsSuccess());
    EXPECT_EQ(Get(client, bucket, "plain"), "over tls");
}

TEST_F(OverTls, ChecksummedUploadsOfSeveralMebibytesRoundTrip) {
    sdktest::MotoServer& server = Tls();
    S3Client client = MakeClient(ClientOptions(server.Url(), server.CaFile()));
    const std::string bucket = NewBucket(server);
    for (size_t size : {size_t{0}, size_t{1}, size_t{1} << 20, (size_t{1} << 20) + 1,
                        size_t{7 * 1024 * 1024 + 3}}) {
        const std::string data = RandomBytes(size, static_cast<unsigned>(size));
        auto put = Put(client, bucket, "crc/" + std::to_string(size), data);
        ASSERT_TRUE(put.IsSuccess()) << size << ": " << put.GetError().GetMessage();
        EXPECT_EQ(Get(client, bucket, "crc/" + std::to_string(size)), data) << size;
    }
}

TEST_F(OverTls, HundredMebibytePartRoundTrips) {
    sdktest::MotoServer& server = Tls();
    ClientOptions options{server.Url(), server.CaFile()};
    options.requestTimeoutMs = 30000;
    S3Client client = MakeClient(options);
    const std::string bucket = NewBucket(server);
    const std::string data = RandomBytes(100 * 1024 * 1024, 7);
    auto created = client.CreateMultipartUpload(
        CreateMultipartUploadRequest().WithBucket(bucket).WithKey("huge"));
    ASSERT_TRUE(created.IsSuccess());
    UploadPartRequest part;
    part.WithBucket(bucket)
        .WithKey("huge")
        .WithUploadId(created.GetResult().GetUploadId())
        .WithPartNumber(1);
    part.SetBody(Body(data));
    auto uploaded = client.UploadPart(part);
    ASSERT_TRUE(uploaded.IsSuccess()) << uploaded.GetError().GetMessage();
    CompletedMultipartUpload parts;
    parts.AddParts(CompletedPart().WithETag(uploaded.GetResult().GetETag()).WithPartNumber(1));
    auto completed =
        client.CompleteMultipartUpload(CompleteMultipartUploadRequest()
                                           .WithBucket(bucket)
                                           .WithKey("huge")
                                           .WithUploadId(created.GetResult().GetUploadId())
                                           .WithMultipartUpload(parts));
    ASSERT_TRUE(completed.IsSuccess()) << completed.GetError().GetMessage();
    EXPECT_TRUE(Get(client, bucket, "huge") == data);
}

TEST_F(OverTls, CertificateThatDoesNotVerifyIsAnError) {
    sdktest::MotoServer& server = Tls();
    for (const std::string& ca : {server.OtherCaFile(), std::string()}) {
        ClientOptions options{server.Url(), ca};
        options.maxAttempts = 1;
        S3Client client = MakeClient(options);
        auto outcome = client.ListBuckets();
        ASSERT_FALSE(outcome.IsSuccess());
        EXPECT_EQ(outcome.GetError().GetErrorType(), S3Errors::NETWORK_CONNECTION);
        EXPECT_EQ(outcome.GetError().GetMessage().rfind("curlCode: 60,", 0), 0u)
            << outcome.GetError().GetMessage();
    }
}

TEST_F(OverTls, CaBundleFromTheEnvironment) {
    sdktest::MotoServer& server = Tls();
    setenv("AWS_CA_BUNDLE", server.CaFile().c_str(), 1);
    Aws::Client::ClientConfiguration config;
    unsetenv("AWS_CA_BUNDLE");
    EXPECT_EQ(config.caFile, server.CaFile());
    config.endpointOverride = server.Url();
    S3Client client(Aws::Auth::AWSCredentials("a", "b"), nullptr, S3ClientConfiguration(config));
    EXPECT_TRUE(client.ListBuckets().IsSuccess());
}

namespace {

struct Certificate {
    std::string cert;
    std::string key;
};

// A self-signed certificate for 127.0.0.1, which the client is given as its CA.
Certificate SelfSignedFor127(const std::string& name) {
    Certificate made{::testing::TempDir() + "/" + name + ".pem",
                     ::testing::TempDir() + "/" + name + ".key"};
    const std::string request =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
        " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        made.key + "' -out '" + made.cert + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(request.c_str()), 0);
    return made;
}

// ListBuckets against `openssl s_server` with the given options, a certificate of its own for
// 127.0.0.1 that the client trusts, and its "-www" page as every answer. The server takes a
// moment to listen: a refused connection is not the answer looked for.
Aws::Utils::Outcome<Aws::S3::Model::ListBucketsResult, S3Error> ListBucketsFromOpensslServer(
    const std::string& name, const std::vector<std::string>& serverOptions) {
    const Certificate certificate = SelfSignedFor127(name);
    const int port = sdktest::FreeLoopbackPort();
    std::vector<std::string> command{
        "openssl", "s_server",       "-accept", "127.0.0.1:" + std::to_string(port),
        "-cert",   certificate.cert, "-key",    certificate.key,
        "-www",    "-quiet"};
    command.insert(command.end(), serverOptions.begin(), serverOptions.end());
    sdktest::ChildProcess server(command);
    ClientOptions options{"https://127.0.0.1:" + std::to_string(port), certificate.cert};
    options.maxAttempts = 1;
    S3Client client = MakeClient(options);
    Aws::Utils::Outcome<Aws::S3::Model::ListBucketsResult, S3Error> outcome;
    for (int attempt = 0; attempt < 50; ++attempt) {
        outcome = client.ListBuckets();
        if (outcome.GetError().GetMessage().rfind("curlCode: 7,", 0) != 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return outcome;
}

}  // namespace

// A server that speaks nothing newer than TLS 1.1 is refused in the handshake.
TEST_F(OverTls, ProtocolsOlderThanTls12AreRefused) {
    const auto outcome =
        ListBucketsFromOpensslServer("old-tls", {"-tls1_1", "-cipher", "DEFAULT:@SECLEVEL=0"});
    ASSERT_FALSE(outcome.IsSuccess());
    EXPECT_EQ(outcome.GetError().GetErrorType(), S3Errors::NETWORK_CONNECTION);
    EXPECT_EQ(outcome.GetError().GetMessage().rfind("curlCode: 35,", 0), 0u)
        << outcome.GetError().GetMessage();
}

// A server that prefers HTTP/2 is still spoken to in HTTP/1.1: the client offers nothing else
// in its ALPN list, so the server answers in HTTP/1.x (openssl's page, which is no S3 answer)
// instead of the connection failing in an HTTP/2 exchange the client does not speak.
TEST_F(OverTls, AServerThatPrefersHttp2IsSpokenToInHttp11) {
    const auto outcome = ListBucketsFromOpensslServer("h2-first", {"-alpn", "h2,http/1.1"});
    ASSERT_FALSE(outcome.IsSuccess());
    EXPECT_NE(outcome.GetError().GetErrorType(), S3Errors::NETWORK_CONNECTION)
        << outcome.GetError().GetMessage();
    EXPECT_EQ(outcome.GetError().GetResponseCode(), Aws::Http::HttpResponseCode::OK)
        << outcome.GetError().GetMessage();
}

// How a body's TLS records reach the client must not change what it reads: every byte, or a
// failure, and no wait beyond the server's own. A client that reads records ahead of what it
// hands on (OpenSSL's read-ahead) and then waits on the socket for more stalls on the first
// case; one that takes a connection closed mid-record for the end of the body passes off half
// an object as whole in the last.
TEST_F(OverTls, ADownloadIsReadWholeHoweverItsRecordsArrive) {
    struct Case {
        const char* mode;
        int size;
        bool whole;
        long withinMs;  // the server's own pause + 1 s
    };
    const Case cases[] = {
        {"small-records", 256 * 1024, true, 1000},  // 4,096 records of 64 B in one write
        {"pause", 1 << 20, true, 1500 + 1000},      // cut mid-record, the rest 1.5 s later
        {"close", 1 << 20, false, 1000},            // closed mid-record, no close_notify
    };
    const Certificate certificate = SelfSignedFor127("records");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        sdktest::ChildProcess server({SDK_TEST_PYTHON, SDK_TEST_TLS_RECORDS_SERVER, "--cert",
                                      certificate.cert, "--key", certificate.key, "--mode", c.mode,
                                      "--size", std::to_string(c.size)});
        const std::string ready = server.ReadLine();
        ASSERT_EQ(ready.rfind("port ", 0), 0u) << ready;
        ClientOptions options{"https://127.0.0.1:" + ready.substr(5), certificate.cert};
        options.maxAttempts = 1;
        options.requestTimeoutMs = 10000;
        S3Client client = MakeClient(options);

        // Twice on one connection: a stall shows at the end of a body whose connection stays
        // open, and the second answer must not start with bytes left over from the first.
        for (int round = 0; round < (c.whole ? 2 : 1); ++round) {
            GetObjectRequest request;
            request.SetBucket("records");
            request.SetKey("body");
            const auto start = std::chrono::steady_clock::now();
            auto outcome = client.GetObject(request);
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            EXPECT_LE(elapsed.count(), c.withinMs) << "round " << round;
            if (!c.whole) {
                ASSERT_FALSE(outcome.IsSuccess());
                EXPECT_EQ(outcome.GetError().GetErrorType(), S3Errors::NETWORK_CONNECTION)
                    << outcome.GetError().GetMessage();
                continue;
            }
            ASSERT_TRUE(outcome.IsSuccess()) << outcome.GetError().GetMessage();
            std::string body(std::istreambuf_iterator<char>(outcome.GetResult().GetBody()), {});
            ASSERT_EQ(body.size(), static_cast<std::size_t>(c.size)) << "round " << round;
            for (std::size_t i = 0; i < body.size(); ++i)
                ASSERT_EQ(static_cast<unsigned char>(body[i]), i % 251) << "byte " << i;
        }
    }
}
