#pragma once

#include <aws/core/auth/signer/AWSAuthV4Signer.h>
#include <aws/core/client/ClientConfiguration.h>
#include <aws/s3/S3_EXPORTS.h>

namespace Aws {
namespace S3 {
enum class US_EAST_1_REGIONAL_ENDPOINT_OPTION {
    NOT_SET = 0,
    // us-east-1 talks to the global endpoint s3.amazonaws.com.
    LEGACY = 1,
    // us-east-1 talks to s3.us-east-1.amazonaws.com.
    REGIONAL = 2
};

namespace Client {
// The generic layer of the upstream class hierarchy; it adds nothing here.
struct GenericClientConfiguration : public Aws::Client::ClientConfiguration {
    using Aws::Client::ClientConfiguration::ClientConfiguration;
    GenericClientConfiguration() = default;
    GenericClientConfiguration(const Aws::Client::ClientConfiguration& config)  // NOLINT
        : Aws::Client::ClientConfiguration(config) {}
};
}  // namespace Client

// S3 settings on top of the common ones. Every constructor finishes by resolving a NOT_SET
// us-east-1 option from AWS_S3_US_EAST_1_REGIONAL_ENDPOINT or the profile's
// s3_us_east_1_regional_endpoint ("legacy" or "regional", default regional).
struct AWS_S3_API S3ClientConfiguration : public Client::GenericClientConfiguration {
    using BaseClientConfigClass = Client::GenericClientConfiguration;

    S3ClientConfiguration(
        const Aws::Client::ClientConfigurationInitValues& configuration = {});  // NOLINT
    S3ClientConfiguration(const char* profileName, bool shouldDisableIMDS = false);
    S3ClientConfiguration(bool useSmartDefaults, const char* defaultMode = "legacy",
                          bool shouldDisableIMDS = false);
    S3ClientConfiguration(const Aws::Client::ClientConfiguration& config,
                          Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy iPayloadSigningPolicy =
                              Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy::Never,
                          bool iUseVirtualAddressing = true,
                          US_EAST_1_REGIONAL_ENDPOINT_OPTION iUseUSEast1RegionalEndPointOption =
                              US_EAST_1_REGIONAL_ENDPOINT_OPTION::NOT_SET);

    bool useVirtualAddressing = true;
    US_EAST_1_REGIONAL_ENDPOINT_OPTION useUSEast1RegionalEndPointOption =
        US_EAST_1_REGIONAL_ENDPOINT_OPTION::NOT_SET;
    bool disableMultiRegionAccessPoints = false;
    bool useArnRegion = false;
    Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy payloadSigningPolicy =
        Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy::RequestDependent;
    bool disableS3ExpressAuth = false;

  private:
    void LoadS3SpecificConfig(const Aws::String& profileName);
};
}  // namespace S3
}  // namespace Aws
