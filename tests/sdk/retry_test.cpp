// Failures injected by the fault proxy between the client and moto_server: what is retried,
// how often, with what on the wire, and the error objects of what is not.
#include <aws/core/client/ClientConfiguration.h>
#include <aws/core/client/DefaultRetryStrategy.h>
#include <aws/core/utils/memory/stl/AWSStringStream.h>
#include <gtest/gtest.h>

#include "SdkTest.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

using namespace Aws::S3;
using namespace Aws::S3::Model;
using sdktest::ClientOptions;
using sdktest::MakeClient;
using sdktest::ProxyRule;

namespace {
PutObjectOutcome Put(const S3Client& client, const std::string& bucket, const std::string& key,
                     const std::string& data) {
    PutObjectRequest request;
    request.WithBucket(bucket).WithKey(key);
    request.SetBody(std::make_shared<Aws::StringStream>(data));
    return client.PutObject(request);
}
}  // namespace

class Retries : public sdktest::MotoTest {
  protected:
    void SetUp() override {
        proxy_ = std::make_unique<sdktest::FaultProxy>(Http().Url());
        bucket_ = NewBucket(Http());
    }
    std::unique_ptr<sdktest::FaultProxy> proxy_;
    std::string bucket_;
};

TEST_F(Retries, ServiceUnavailableThenSuccessResendsTheBodyIntact) {
    S3Client client = MakeClient(ClientOptions(proxy_->Url()));
    ProxyRule rule;
    rule.method = "PUT";
    rule.status = 503;
    rule.errorCode = "ServiceUnavailable";
    proxy_->AddRule(rule);
    const std::string data(100000, 'q');
    PutObjectRequest put;
    put.WithBucket(bucket_).WithKey("retried");
    auto body = std::make_shared<Aws::StringStream>(data);
    body->seekg(500);  // the body is sent from offset 0 whatever its read position
    put.SetBody(body);
    auto outcome = client.PutObject(put);
    ASSERT_TRUE(outcome.IsSuccess()) << outcome.GetError().GetMessage();
    EXPECT_EQ(outcome.GetRetryCount(), 1u);
    auto requests = proxy_->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].fault, "status");
    EXPECT_EQ(requests[0].bodyBytes, 100000);
    EXPECT_EQ(requests[1].bodyBytes, 100000);
    EXPECT_EQ(requests[0].body, requests[1].body);
    EXPECT_EQ(requests[0].headers.at("amz-sdk-request"), "attempt=1");
    EXPECT_EQ(requests[1].headers.at("amz-sdk-request"), "attempt=2; max=3");
    EXPECT_EQ(requests[0].headers.at("amz-sdk-invocation-id"),
              requests[1].headers.at("amz-sdk-invocation-id"));
    auto stored = MakeClient(ClientOptions(Http().Url()))
                      .GetObject(GetObjectRequest().WithBucket(bucket_).WithKey("retried"));
    ASSERT_TRUE(stored.IsSuccess());
    std::string got(std::istreambuf_iterator<char>(stored.GetResult().GetBody()), {});
    EXPECT_TRUE(got == data) << "stored " << got.size() << " bytes";
}

TEST_F(Retries, NonRetryableErrorIsNotRetried) {
    S3Client client = MakeClient(ClientOptions(proxy_->Url()));
    ProxyRule rule;
    rule.status = 400;
    rule.errorCode = "InvalidArgument";
    rule.errorMessage = "Bad thing";
    rule.count = -1;
    proxy_->AddRule(rule);
    auto outcome = client.ListObjectsV2(ListObjectsV2Request().WithBucket(bucket_));
    ASSERT_FALSE(outcome.IsSuccess());
    EXPECT_EQ(outcome.GetError().GetErrorType(), S3Errors::UNKNOWN);
    EXPECT_EQ(outcome.GetError().GetExceptionName(), "InvalidArgument");
    EXPECT_EQ(outcome.GetError().GetMessage(),
              "Unable to parse ExceptionName: InvalidArgument Message: Bad thing");
    EXPECT_FALSE(outcome.GetError().GetRequestId().empty());
    EXPECT_EQ(proxy_->Requests().size(), 1u);
}

TEST_F(Retries, StandardModeFromTheEnvironmentLimitsAttempts) {
    setenv("AWS_RETRY_MODE", "standard", 1);
    setenv("AWS_MAX_ATTEMPTS", "2", 1);
    Aws::Client::ClientConfiguration config;
    unsetenv("AWS_RETRY_MODE");
    unsetenv("AWS_MAX_ATTEMPTS");
    ASSERT_STREQ(config.retryStrategy->GetStrategyName(), "standard");
    EXPECT_EQ(config.retryStrategy->GetMaxAttempts(), 2);
    EXPECT_STREQ(Aws::Client::ClientConfiguration().retryStrategy->GetStrategyName(), "default");
    EXPECT_EQ(Aws::Client::ClientConfiguration().retryStrategy->GetMaxAttempts(), 11);

    config.endpointOverride = proxy_->Url();
    S3Client client(Aws::Auth::AWSCredentials("a", "b"), nullptr, S3ClientConfiguration(config));
    ProxyRule rule;
    rule.count = -1;
    proxy_->AddRule(rule);
    auto outcome = client.ListObjectsV2(ListObjectsV2Request().WithBucket(bucket_));
    ASSERT_FALSE(outcome.IsSuccess());
    EXPECT_EQ(outcome.GetError().GetErrorType(), S3Errors::INTERNAL_FAILURE);
    EXPECT_TRUE(outcome.GetError().ShouldRetry());
    EXPECT_EQ(outcome.GetRetryCount(), 1u);
    auto requests = proxy_->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].headers.at("amz-sdk-request"), "attempt=2; max=2");
}

TEST(DefaultRetryStrategy, BackoffSchedule) {
    Aws::Client::DefaultRetryStrategy strategy;
    Aws::Client::AWSError<Aws::Client::CoreErrors> retryable(
        Aws::Client::CoreErrors::SERVICE_UNAVAILABLE, true);
    std::vector<long> delays;
    for (long n = 0; n < 10; ++n)
        delays.push_back(strategy.CalculateDelayBeforeNextRetry(retryable, n));
    EXPECT_EQ(delays, (std::vector<long>{0, 50, 100, 200, 400, 800, 1600, 3200, 6400, 12800}));
    EXPECT_TRUE(strategy.ShouldRetry(retryable, 9));
    EXPECT_FALSE(strategy.ShouldRetry(retryable, 10));
    EXPECT_FALSE(strategy.ShouldRetry(
        Aws::Client::AWSError<Aws::Client::CoreErrors>(Aws::Client::CoreErrors::VALIDATION, false),
        0));
}

TEST_F(Retries, ShortBodyIsAnErrorNeverAShortSuccess) {
    ASSERT_EQ(
        sdktest::RawRequest(Http().Url(), "PUT", "/" + bucket_ + "/long", std::string(50000, 'z'))
            .status,
        200);
    ClientOptions options{proxy_->Url()};
    options.maxAttempts = 1;
    S3Client client = MakeClient(options);
    ProxyRule rule;
    rule.method = "GET";
    rule.action = "truncate";
    rule.truncateAfter = 1000;
    proxy_->AddRule(rule);
    auto outcome = client.GetObject(GetObjectRequest().WithBucket(bucket_).WithKey("long"));
    ASSERT_FALSE(outcome.IsSuccess());
    EXPECT_EQ(outcome.GetError().GetErrorType(), S3Errors::NETWORK_CONNECTION);
    EXPECT_TRUE(outcome.GetError().ShouldRetry());

    // With retries left, the next attempt gets the whole object.
    S3Client retrying = MakeClient(ClientOptions(proxy_->Url()));
    proxy_->AddRule(rule);
    auto retried = retrying.GetObject(GetObjectRequest().WithBucket(bucket_).WithKey("long"));
    ASSERT_TRUE(retried.IsSuccess()) << retried.GetError().GetMessage();
    EXPECT_EQ(retried.GetResult().GetContentLength(), 50000);
    std::string got(std::istreambuf_iterator<char>(retried.GetResult().GetBody()), {});
    EXPECT_EQ(got, std::string(50000, 'z'));
}

TEST_F(Retries, ErrorInsideA200CompleteMultipartUpload) {
    S3Client client = MakeClient(ClientOptions(proxy_->Url()));
    auto created = client.CreateMultipartUpload(
        CreateMultipartUploadRequest().WithBucket(bucket_).WithKey("mp"));
    ASSERT_TRUE(created.IsSuccess());
    UploadPartRequest part;
    part.WithBucket(bucket_)
        .WithKey("mp")
        .WithUploadId(created.GetResult().GetUploadId())
        .WithPartNumber(1);
    part.SetBody(std::make_shared<Aws::StringStream>("part one"));
    auto uploaded = client.UploadPart(part);
    ASSERT_TRUE(uploaded.IsSuccess());
    CompleteMultipartUploadRequest complete;
    complete.WithBucket(bucket_).WithKey("mp").WithUploadId(created.GetResult().GetUploadId());
    CompletedMultipartUpload parts;
    parts.AddParts(CompletedPart().WithETag(uploaded.GetResult().GetETag()).WithPartNumber(1));
    complete.SetMultipartUpload(parts);

    ProxyRule fatal;
    fatal.method = "POST";
    fatal.action = "error200";
    fatal.errorCode = "AccessDenied";
    fatal.errorMessage = "Denied late";
    proxy_->AddRule(fatal);
    auto denied = client.CompleteMultipartUpload(complete);
    ASSERT_FALSE(denied.IsSuccess());
    EXPECT_EQ(denied.GetError().GetErrorType(), S3Errors::ACCESS_DENIED);
    EXPECT_EQ(denied.GetError().GetMessage(), "Denied late");
    EXPECT_FALSE(denied.GetError().GetRequestId().empty());

    proxy_->ClearRules();
    ProxyRule transient = fatal;
    transient.errorCode = "InternalError";
    proxy_->AddRule(transient);
    auto completed = client.CompleteMultipartUpload(complete);
    ASSERT_TRUE(completed.IsSuccess()) << completed.GetError().GetMessage();
    EXPECT_EQ(completed.GetRetryCount(), 1u);
}

TEST_F(Retries, ConnectionResetIsRetried) {
    S3Client client = MakeClient(ClientOptions(proxy_->Url()));
    ProxyRule rule;
    rule.action = "reset";
    proxy_->AddRule(rule);
    auto outcome = client.ListObjectsV2(ListObjectsV2Request().WithBucket(bucket_));
    ASSERT_TRUE(outcome.IsSuccess()) << outcome.GetError().GetMessage();
    EXPECT_EQ(outcome.GetRetryCount(), 1u);
}

TEST_F(Retries, SlowAnswerTimesOut) {
    ClientOptions options{proxy_->Url()};
    options.maxAttempts = 1;
    options.requestTimeoutMs = 1000;
    S3Client client = MakeClient(options);
    ProxyRule rule;
    rule.action = "delay";
    rule.delayMs = 4000;
    proxy_->AddRule(rule);
    auto outcome = client.ListObjectsV2(ListObjectsV2Request().WithBucket(bucket_));
    ASSERT_FALSE(outcome.IsSuccess());
    EXPECT_EQ(outcome.GetError().GetErrorType(), S3Errors::NETWORK_CONNECTION);
    EXPECT_EQ(outcome.GetError().GetMessage().rfind("curlCode: 28, ", 0), 0u)
        << outcome.GetError().GetMessage();
    EXPECT_EQ(outcome.GetError().GetResponseCode(), Aws::Http::HttpResponseCode::REQUEST_NOT_MADE);
}

TEST(RefusedConnection, ClosedLoopbackPort) {
    Aws::SDKOptions options;
    Aws::InitAPI(options);
    {
        ClientOptions clientOptions{"http://127.0.0.1:" +
                                    std::to_string(sdktest::FreeLoopbackPort())};
        clientOptions.maxAttempts = 2;
        S3Client client = MakeClient(clientOptions);
        auto outcome = client.ListBuckets();
        ASSERT_FALSE(outcome.IsSuccess());
        const S3Error& error = outcome.GetError();
        EXPECT_EQ(error.GetErrorType(), S3Errors::NETWORK_CONNECTION);
        EXPECT_EQ(error.GetExceptionName(), "");
        EXPECT_EQ(error.GetMessage(), "curlCode: 7, Couldn't connect to server");
        EXPECT_EQ(error.GetResponseCode(), Aws::Http::HttpResponseCode::REQUEST_NOT_MADE);
        EXPECT_TRUE(error.ShouldRetry());
        EXPECT_TRUE(error.GetResponseHeaders().empty());
        EXPECT_EQ(outcome.GetRetryCount(), 1u);
    }
    Aws::ShutdownAPI(options);
}

// A service whose clock runs ten minutes ahead refuses the first signature; the client takes
// the service's time from the answer, signs again at once, and keeps the correction.
TEST_F(Retries, ClockSkewIsCorrectedFromTheServiceTimeAndKept) {
    S3Client client = MakeClient(ClientOptions(proxy_->Url()));
    ProxyRule rule;
    rule.action = "clock";
    rule.skewSeconds = 600;
    rule.count = -1;
    proxy_->AddRule(rule);
    const auto start = std::chrono::steady_clock::now();
    auto listed = client.ListObjectsV2(ListObjectsV2Request().WithBucket(bucket_));
    ASSERT_TRUE(listed.IsSuccess()) << listed.GetError().GetMessage();
    EXPECT_EQ(listed.GetRetryCount(), 1u);
    ASSERT_TRUE(Put(client, bucket_, "after-skew", "data").IsSuccess());
    // No backoff was waited for the correction.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    const auto requests = proxy_->Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].fault, "clock");
    EXPECT_EQ(requests[1].fault, "");
    EXPECT_EQ(requests[2].fault, "");  // the correction stays with the client
    // A copy of the client shares it.
    S3Client copy = client;
    proxy_->ClearRequests();
    EXPECT_TRUE(copy.ListBuckets().IsSuccess());
    EXPECT_EQ(proxy_->Requests().at(0).fault, "");
}

namespace {
// A stream whose reads and writes fail after `good` bytes: a body that cannot be read to its
// end, or a destination that cannot take the answer.
class FailingBuffer : public std::streambuf {
  public:
    explicit FailingBuffer(std::streamsize length, std::streamsize good)
        : length_(length), good_(good) {}

  protected:
    int_type underflow() override {
        if (position_ >= good_) return traits_type::eof();
        current_ = 'r';
        setg(&current_, &current_, &current_ + 1);
        ++position_;
        return traits_type::to_int_type(current_);
    }
    std::streamsize xsputn(const char*, std::streamsize count) override {
        const std::streamsize taken =
            std::min(count, std::max<std::streamsize>(good_ - written_, 0));
        written_ += taken;
        return taken;
    }
    int_type overflow(int_type c) override {
        return written_ < good_ ? (++written_, c) : traits_type::eof();
    }
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir,
                     std::ios_base::openmode) override {
        const std::streamsize target = dir == std::ios_base::end   ? length_ + offset
                                       : dir == std::ios_base::beg ? offset
                                                                   : position_ + offset;
        position_ = target;
        setg(nullptr, nullptr, nullptr);
        return pos_type(target);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }

  private:
    std::streamsize length_;
    std::streamsize good_;
    std::streamsize position_ = 0;
    std::streamsize written_ = 0;
    char current_ = 0;
};

class FailingStream : public Aws::IOStream {
  public:
    FailingStream(std::streamsize length, std::streamsize good)
        : Aws::IOStream(&buffer_), buffer_(length, good) {}

  private:
    FailingBuffer buffer_;
};
}  // namespace

// What another attempt cannot mend is not tried again: a body that cannot be read, an answer
// that cannot be stored, a certificate that does not verify, a setting this client lacks.
TEST_F(Retries, FailuresAnotherAttemptCannotMendAreNotRetried) {
    ClientOptions options{proxy_->Url()};
    options.maxAttempts = 5;
    S3Client client = MakeClient(options);

    PutObjectRequest put;
    put.WithBucket(bucket_).WithKey("unreadable");
    put.SetBody(std::make_shared<FailingStream>(3 * 1024 * 1024, 1024 * 1024));
    auto sent = client.PutObject(put);
    ASSERT_FALSE(sent.IsSuccess());
    EXPECT_EQ(sent.GetError().GetErrorType(), S3Errors::NETWORK_CONNECTION);
    EXPECT_FALSE(sent.GetError().ShouldRetry());
    EXPECT_EQ(sent.GetRetryCount(), 0u);

    ASSERT_TRUE(Put(client, bucket_, "big", std::string(1024 * 1024, 'b')).IsSuccess());
    proxy_->ClearRequests();
    GetObjectRequest get;
    get.WithBucket(bucket_).WithKey("big");
    get.SetResponseStreamFactory([] { return new FailingStream(0, 1000); });
    auto got = client.GetObject(get);
    ASSERT_FALSE(got.IsSuccess());
    EXPECT_FALSE(got.GetError().ShouldRetry());
    EXPECT_EQ(proxy_->Requests().size(), 1u);

    ClientOptions untrusted{Tls().Url(), Tls().OtherCaFile()};
    untrusted.maxAttempts = 5;
    const auto start = std::chrono::steady_clock::now();
    auto refused = MakeClient(untrusted).ListBuckets();
    ASSERT_FALSE(refused.IsSuccess());
    EXPECT_EQ(refused.GetError().GetMessage().rfind("curlCode: 60,", 0), 0u);
    EXPECT_EQ(refused.GetRetryCount(), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(UnsupportedSettings, FailEveryOperationWithoutARequest) {
    Aws::SDKOptions sdk;
    Aws::InitAPI(sdk);
    {
        const std::string closed =
            "http://127.0.0.1:" + std::to_string(sdktest::FreeLoopbackPort());
        std::vector<std::function<void(Aws::Client::ClientConfiguration&)>> settings = {
            [](auto& c) { c.allowSystemProxy = true; },
            [](auto& c) { c.followRedirects = Aws::Client::FollowRedirectsPolicy::ALWAYS; },
            [](auto& c) { c.version = Aws::Http::Version::HTTP_VERSION_2_0; },
            [](auto& c) { c.version = Aws::Http::Version::HTTP_VERSION_2_PRIOR_KNOWLEDGE; },
            [](auto& c) { c.httpLibOverride = Aws::Http::TransferLibType::WIN_HTTP_CLIENT; },
        };
        for (std::size_t i = 0; i < settings.size(); ++i) {
            Aws::Client::ClientConfiguration config;
            config.endpointOverride = closed;
            settings[i](config);
            S3Client client(Aws::Auth::AWSCredentials("a", "b"), nullptr,
                            S3ClientConfiguration(config));
            auto outcome = client.ListBuckets();
            ASSERT_FALSE(outcome.IsSuccess()) << i;
            EXPECT_EQ(outcome.GetError().GetErrorType(), S3Errors::INVALID_PARAMETER_COMBINATION)
                << i;
            EXPECT_EQ(
                outcome.GetError().GetMessage().rfind("Unsupported client configuration: ", 0), 0u)
                << outcome.GetError().GetMessage();
            EXPECT_EQ(outcome.GetError().GetResponseCode(),
                      Aws::Http::HttpResponseCode::REQUEST_NOT_MADE);
        }
        // The default version (HTTP/2 where TLS offers it) is spoken as HTTP/1.1.
        Aws::Client::ClientConfiguration plain;
        plain.endpointOverride = closed;
        plain.retryStrategy = std::make_shared<Aws::Client::StandardRetryStrategy>(1);
        S3Client client(Aws::Auth::AWSCredentials("a", "b"), nullptr, S3ClientConfiguration(plain));
        EXPECT_EQ(client.ListBuckets().GetError().GetErrorType(), S3Errors::NETWORK_CONNECTION);
    }
    Aws::ShutdownAPI(sdk);
}
