// The S3 endpoint rules and the configured-endpoint precedence. Resolution only: nothing here
// sends a request, so real service host names are safe to appear.
#include <aws/s3/S3ClientConfiguration.h>
#include <aws/s3/S3EndpointProvider.h>
#include <gtest/gtest.h>

#include <stdlib.h>
#include <cstdio>
#include <fstream>

#include <optional>
#include <string>

#include "s3/ClientCore.h"

using Aws::S3::Endpoint::S3EndpointParameters;
using Aws::S3::Endpoint::S3EndpointProvider;

namespace {
struct Case {
    const char* region;
    const char* bucket;
    const char* endpoint;
    bool pathStyle;
    bool global;
    const char* url;  // or the error message
    const char* signingRegion;
};

const Case kCases[] = {
    {"us-west-2", "bucket-name", "", false, false, "https://bucket-name.s3.us-west-2.amazonaws.com",
     "us-west-2"},
    {"us-east-1", "bucket-name", "", false, false, "https://bucket-name.s3.us-east-1.amazonaws.com",
     "us-east-1"},
    {"us-east-1", "bucket-name", "", false, true, "https://bucket-name.s3.amazonaws.com",
     "us-east-1"},
    {"aws-global", "bucket-name", "", false, false, "https://bucket-name.s3.amazonaws.com",
     "us-east-1"},
    {"eu-west-1", "", "", false, false, "https://s3.eu-west-1.amazonaws.com", "eu-west-1"},
    {"us-east-1", "", "", false, true, "https://s3.amazonaws.com", "us-east-1"},
    {"aws-global", "", "", false, false, "https://s3.amazonaws.com", "us-east-1"},
    {"eu-west-1", "", "", false, true, "https://s3.eu-west-1.amazonaws.com", "eu-west-1"},
    {"us-east-1", "bucket.name", "", false, false, "https://s3.us-east-1.amazonaws.com/bucket.name",
     "us-east-1"},
    {"us-east-1", "aa", "", false, false, "https://s3.us-east-1.amazonaws.com/aa", "us-east-1"},
    {"us-east-1", "BucketName", "", false, false, "https://s3.us-east-1.amazonaws.com/BucketName",
     "us-east-1"},
    {"us-east-1", "bucket name", "", false, false,
     "https://s3.us-east-1.amazonaws.com/bucket%20name", "us-east-1"},
    {"us-east-1", "example.com#", "", false, false,
     "https://s3.us-east-1.amazonaws.com/example.com%23", "us-east-1"},
    {"us-west-2", "bucket-name", "", true, false, "https://s3.us-west-2.amazonaws.com/bucket-name",
     "us-west-2"},
    {"aws-global", "bucket-name", "", true, false, "https://s3.amazonaws.com/bucket-name",
     "us-east-1"},
    {"cn-north-1", "bucket-name", "", false, false,
     "https://bucket-name.s3.cn-north-1.amazonaws.com.cn", "cn-north-1"},
    {"", "bucket-name", "", false, false, "A region must be set when sending requests to S3.", ""},
    {"us east", "bucket-name", "", false, false, "Invalid region: region was not a valid DNS name.",
     ""},
    // With an endpoint.
    {"us-east-1", "bucket-name", "https://host", false, false, "https://bucket-name.host",
     "us-east-1"},
    {"us-east-1", "bucket-name", "https://host:9000", false, false, "https://bucket-name.host:9000",
     "us-east-1"},
    {"us-east-1", "bucket-name", "http://host:9000/foo", false, false,
     "http://bucket-name.host:9000/foo", "us-east-1"},
    {"us-east-1", "bucket.name", "https://host", false, false, "https://host/bucket.name",
     "us-east-1"},
    {"us-east-1", "bucket.name", "http://example.com", false, false,
     "http://bucket.name.example.com", "us-east-1"},
    {"us-east-1", "bucketname", "https://123.123.0.1", false, false,
     "https://123.123.0.1/bucketname", "us-east-1"},
    {"us-east-1", "bucketname", "http://[::1]:9000/p/", false, false,
     "http://[::1]:9000/p/bucketname", "us-east-1"},
    {"us-east-1", "99_ab", "http://host:9000", false, false, "http://host:9000/99_ab", "us-east-1"},
    {"us-east-1", "bucket-name", "http://host:9000", true, false, "http://host:9000/bucket-name",
     "us-east-1"},
    {"aws-global", "bucket-name", "http://host:9000", false, true, "http://bucket-name.host:9000",
     "us-east-1"},
    {"us-east-1", "", "https://host:9000/", false, false, "https://host:9000/", "us-east-1"},
    {"us-east-1", "bucket", "https://host?x=1", false, false,
     "Custom endpoint `https://host?x=1` was not a valid URI", ""},
    {"us-east-1", "bucket", "ftp://host", false, false,
     "Custom endpoint `ftp://host` was not a valid URI", ""},
};

// Sets or unsets one environment variable for the life of the object.
class EnvVar {
  public:
    EnvVar(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = getenv(name)) previous_ = old;
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvVar() {
        if (previous_) {
            setenv(name_.c_str(), previous_->c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }

  private:
    std::string name_;
    std::optional<std::string> previous_;
};
}  // namespace

TEST(EndpointRules, Table) {
    S3EndpointProvider provider;
    for (const Case& c : kCases) {
        S3EndpointParameters parameters;
        parameters.region = c.region;
        parameters.bucket = c.bucket;
        parameters.endpoint = c.endpoint;
        parameters.forcePathStyle = c.pathStyle;
        parameters.useGlobalEndpoint = c.global;
        auto resolved = provider.ResolveEndpoint(parameters);
        SCOPED_TRACE(std::string(c.region) + " " + c.bucket + " " + c.endpoint);
        if (*c.signingRegion) {
            EXPECT_TRUE(resolved.IsSuccess()) << resolved.errorMessage;
            EXPECT_EQ(resolved.url, c.url);
            EXPECT_EQ(resolved.signingRegion, c.signingRegion);
        } else {
            EXPECT_FALSE(resolved.IsSuccess());
            EXPECT_EQ(resolved.errorMessage, c.url);
        }
    }
}

TEST(EndpointRules, DualStackWithEndpointIsRefused) {
    S3EndpointParameters parameters;
    parameters.region = "us-east-1";
    parameters.endpoint = "https://host";
    parameters.useDualStack = true;
    EXPECT_EQ(S3EndpointProvider().ResolveEndpoint(parameters).errorMessage,
              "Cannot set dual-stack in combination with a custom endpoint.");
}

TEST(ConfiguredEndpoint, OverrideThenServiceVariableThenGlobalVariable) {
    using Aws::S3::Internal::ClientCore;
    EnvVar s3("AWS_ENDPOINT_URL_S3", std::string("http://127.0.0.1:1111"));
    EnvVar all("AWS_ENDPOINT_URL", std::string("http://127.0.0.1:2222"));
    EnvVar ignore("AWS_IGNORE_CONFIGURED_ENDPOINT_URLS", std::nullopt);
    Aws::Client::ClientConfiguration config;
    config.endpointOverride = "127.0.0.1:3333";
    EXPECT_EQ(ClientCore::ConfiguredEndpoint(config), "https://127.0.0.1:3333");
    config.scheme = Aws::Http::Scheme::HTTP;
    EXPECT_EQ(ClientCore::ConfiguredEndpoint(config), "http://127.0.0.1:3333");
    config.endpointOverride.clear();
    EXPECT_EQ(ClientCore::ConfiguredEndpoint(config), "http://127.0.0.1:1111");
    {
        EnvVar noS3("AWS_ENDPOINT_URL_S3", std::nullopt);
        EXPECT_EQ(ClientCore::ConfiguredEndpoint(config), "http://127.0.0.1:2222");
    }
    EnvVar ignored("AWS_IGNORE_CONFIGURED_ENDPOINT_URLS", std::string("TRUE"));
    EXPECT_EQ(ClientCore::ConfiguredEndpoint(config), "");
}

// After the variables, the active profile of the shared config file: its s3 services section,
// then its own endpoint_url; its ignore_configured_endpoint_urls turns both off.
TEST(ConfiguredEndpoint, TheProfilesServiceSectionThenItsEndpointUrl) {
    using Aws::S3::Internal::ClientCore;
    const std::string path = ::testing::TempDir() + "/endpoint-config";
    EnvVar file("AWS_CONFIG_FILE", path);
    EnvVar s3("AWS_ENDPOINT_URL_S3", std::nullopt);
    EnvVar all("AWS_ENDPOINT_URL", std::nullopt);
    EnvVar ignore("AWS_IGNORE_CONFIGURED_ENDPOINT_URLS", std::nullopt);
    const struct {
        const char* profile;
        const char* expected;
    } cells[] = {{"both", "http://127.0.0.1:4444"},
                 {"plain", "http://127.0.0.1:5555"},
                 {"other-service", "http://127.0.0.1:6666"},
                 {"ignoring", ""},
                 {"nothing", ""}};
    {
        std::ofstream config(path);
        config << "[profile both]\nservices = local\nendpoint_url = http://127.0.0.1:5555\n"
                  "[services local]\ns3 =\n  endpoint_url = http://127.0.0.1:4444\n"
                  "dynamodb =\n  endpoint_url = http://127.0.0.1:7777\n"
                  "[profile plain]\nendpoint_url = http://127.0.0.1:5555\n"
                  "[profile other-service]\nservices = elsewhere\n"
                  "endpoint_url = http://127.0.0.1:6666\n"
                  "[services elsewhere]\ndynamodb =\n  endpoint_url = http://127.0.0.1:7777\n"
                  "[profile ignoring]\nservices = local\nendpoint_url = http://127.0.0.1:5555\n"
                  "ignore_configured_endpoint_urls = true\n"
                  "[profile nothing]\nregion = eu-west-1\n";
    }
    for (const auto& cell : cells) {
        Aws::Client::ClientConfiguration config(cell.profile);
        EXPECT_EQ(ClientCore::ConfiguredEndpoint(config), cell.expected) << cell.profile;
    }
    // The environment comes first, and its ignore switch overrides the profile too.
    Aws::Client::ClientConfiguration both("both");
    {
        EnvVar variable("AWS_ENDPOINT_URL", std::string("http://127.0.0.1:2222"));
        EXPECT_EQ(ClientCore::ConfiguredEndpoint(both), "http://127.0.0.1:2222");
    }
    EnvVar ignored("AWS_IGNORE_CONFIGURED_ENDPOINT_URLS", std::string("true"));
    EXPECT_EQ(ClientCore::ConfiguredEndpoint(both), "");
    std::remove(path.c_str());
}

TEST(ConfiguredEndpoint, EndpointWithoutRegionResolvesWithPlaceholderRegion) {
    EnvVar ignore("AWS_IGNORE_CONFIGURED_ENDPOINT_URLS", std::string("true"));
    Aws::Client::ClientConfiguration config;
    config.region = "";
    config.endpointOverride = "http://127.0.0.1:9";
    Aws::S3::Internal::ClientCore core(Aws::Auth::AWSCredentials("a", "b"), nullptr,
                                       Aws::S3::S3ClientConfiguration(config));
    auto parameters = core.EndpointParameters("bucket");
    EXPECT_EQ(parameters.region, "region-not-set");
    EXPECT_EQ(parameters.endpoint, "http://127.0.0.1:9");
}

TEST(ClientConfigurationDefaults, RegionAndUsEast1OptionFromEnvironmentAndProfile) {
    EnvVar defaultRegion("AWS_DEFAULT_REGION", std::nullopt);
    EnvVar region("AWS_REGION", std::nullopt);
    EnvVar profile("AWS_PROFILE", std::string("work"));
    char path[] = "/tmp/sdk-config-XXXXXX";
    int fd = mkstemp(path);
    const std::string text =
        "[default]\nregion = us-west-1\n[profile work]\nregion = eu-north-1\n"
        "s3_us_east_1_regional_endpoint = legacy\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    EnvVar file("AWS_CONFIG_FILE", std::string(path));
    EnvVar usEast1("AWS_S3_US_EAST_1_REGIONAL_ENDPOINT", std::nullopt);
    {
        Aws::S3::S3ClientConfiguration config;
        EXPECT_EQ(config.region, "eu-north-1");
        EXPECT_EQ(config.useUSEast1RegionalEndPointOption,
                  Aws::S3::US_EAST_1_REGIONAL_ENDPOINT_OPTION::LEGACY);
        EXPECT_EQ(config.payloadSigningPolicy,
                  Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy::RequestDependent);
        EXPECT_EQ(config.requestTimeoutMs, 3000);
        EXPECT_EQ(config.connectTimeoutMs, 1000);
        EXPECT_EQ(config.maxConnections, 25u);
        EXPECT_TRUE(config.verifySSL);
    }
    {
        EnvVar regionEnv("AWS_REGION", std::string("ap-south-1"));
        EXPECT_EQ(Aws::Client::ClientConfiguration().region, "ap-south-1");
        EnvVar defaultEnv("AWS_DEFAULT_REGION", std::string("sa-east-1"));
        EXPECT_EQ(Aws::Client::ClientConfiguration().region, "sa-east-1");
    }
    {
        EnvVar noProfile("AWS_PROFILE", std::string("absent"));
        EXPECT_EQ(Aws::Client::ClientConfiguration().region, "us-east-1");
        Aws::S3::S3ClientConfiguration converted(Aws::Client::ClientConfiguration{});
        EXPECT_EQ(converted.useUSEast1RegionalEndPointOption,
                  Aws::S3::US_EAST_1_REGIONAL_ENDPOINT_OPTION::REGIONAL);
        EXPECT_EQ(converted.payloadSigningPolicy,
                  Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy::Never);
    }
    unlink(path);
}
