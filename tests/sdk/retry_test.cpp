// Failures injected by the fault proxy between the client and moto_server: what is retried,
// how often, with what on the wire, and the error objects of what is not.
#include <aws/core/client/ClientConfiguration.h>
#include <aws/core/client/DefaultRetryStrategy.h>
#include <aws/core/utils/memory/stl/AWSStringStream.h>
#include <gtest/gtest.h>

#include "SdkTest.h"

using namespace Aws::S3;
using namespace Aws::S3::Model;
using sdktest::ClientOptions;
using sdktest::MakeClient;
using sdktest::ProxyRule;

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
