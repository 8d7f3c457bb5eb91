// Shared set-up of the client tests: one plain and one TLS moto_server for the whole run,
// and clients pointed at them.
#pragma once

#include <aws/core/Aws.h>
#include <aws/core/client/RetryStrategy.h>
#include <aws/s3/S3Client.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Fixtures.h"

namespace sdktest {

struct ClientOptions {
    ClientOptions(std::string endpointUrl = "", std::string caBundle = "")  // NOLINT
        : endpoint(std::move(endpointUrl)), caFile(std::move(caBundle)) {}

    std::string endpoint;
    std::string caFile;
    Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy policy =
        Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy::Never;
    Aws::Client::RequestChecksumCalculation checksums =
        Aws::Client::RequestChecksumCalculation::WHEN_SUPPORTED;
    long maxAttempts = 3;
    long requestTimeoutMs = 3000;
};

inline Aws::S3::S3Client MakeClient(const ClientOptions& options) {
    Aws::Client::ClientConfiguration config;
    config.region = "us-east-1";
    config.endpointOverride = options.endpoint;
    config.caFile = options.caFile;
    config.checksumConfig.requestChecksumCalculation = options.checksums;
    config.requestTimeoutMs = options.requestTimeoutMs;
    config.retryStrategy =
        std::make_shared<Aws::Client::StandardRetryStrategy>(options.maxAttempts);
    return Aws::S3::S3Client(Aws::Auth::AWSCredentials("testing", "testing-secret"), nullptr,
                             Aws::S3::S3ClientConfiguration(config, options.policy, false));
}

class MotoTest : public ::testing::Test {
  public:
    static void SetUpTestSuite() { Aws::InitAPI(options_); }
    static void TearDownTestSuite() {
        delete http_;
        delete tls_;
        http_ = nullptr;
        tls_ = nullptr;
        Aws::ShutdownAPI(options_);
    }

  protected:
    // Started on first use: most tests need only one of them.
    static MotoServer& Http() {
        if (!http_) http_ = new MotoServer(false);
        return *http_;
    }
    static MotoServer& Tls() {
        if (!tls_) tls_ = new MotoServer(true);
        return *tls_;
    }

    // A fresh bucket per test, so that tests do not see each other's objects.
    std::string NewBucket(MotoServer& server, const std::string& constraint = "") {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "t" + std::to_string(++counter_) + "-" + info->name();
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '-';
        }
        name = name.substr(0, 50);
        server.CreateBucket(name, constraint);
        return name;
    }

    static inline Aws::SDKOptions options_;
    static inline MotoServer* http_ = nullptr;
    static inline MotoServer* tls_ = nullptr;
    static inline int counter_ = 0;
};

}  // namespace sdktest
