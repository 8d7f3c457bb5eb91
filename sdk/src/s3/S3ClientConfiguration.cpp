#include <aws/core/utils/StringUtils.h>
#include <aws/s3/S3ClientConfiguration.h>

#include "core/ConfigFile.h"

namespace Aws {
namespace S3 {
S3ClientConfiguration::S3ClientConfiguration(
    const Aws::Client::ClientConfigurationInitValues& configuration)
    : Client::GenericClientConfiguration(Aws::Client::ClientConfiguration(configuration)) {
    LoadS3SpecificConfig(profileName);
}

S3ClientConfiguration::S3ClientConfiguration(const char* profile, bool shouldDisableIMDS)
    : Client::GenericClientConfiguration(
          Aws::Client::ClientConfiguration(profile, shouldDisableIMDS)) {
    LoadS3SpecificConfig(profileName);
}

S3ClientConfiguration::S3ClientConfiguration(bool useSmartDefaults, const char* defaultMode,
                                             bool shouldDisableIMDS)
    : Client::GenericClientConfiguration(
          Aws::Client::ClientConfiguration(useSmartDefaults, defaultMode, shouldDisableIMDS)) {
    LoadS3SpecificConfig(profileName);
}

S3ClientConfiguration::S3ClientConfiguration(
    const Aws::Client::ClientConfiguration& config,
    Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy iPayloadSigningPolicy,
    bool iUseVirtualAddressing,
    US_EAST_1_REGIONAL_ENDPOINT_OPTION iUseUSEast1RegionalEndPointOption)
    : Client::GenericClientConfiguration(config),
      useVirtualAddressing(iUseVirtualAddressing),
      useUSEast1RegionalEndPointOption(iUseUSEast1RegionalEndPointOption),
      payloadSigningPolicy(iPayloadSigningPolicy) {
    LoadS3SpecificConfig(profileName);
}

void S3ClientConfiguration::LoadS3SpecificConfig(const Aws::String& profile) {
    using Aws::Client::ClientConfiguration;
    if (useUSEast1RegionalEndPointOption == US_EAST_1_REGIONAL_ENDPOINT_OPTION::NOT_SET) {
        Aws::String option = ClientConfiguration::LoadConfigFromEnvOrProfile(
            "AWS_S3_US_EAST_1_REGIONAL_ENDPOINT", profile, "s3_us_east_1_regional_endpoint",
            {"legacy", "regional"}, "regional");
        useUSEast1RegionalEndPointOption = option == "legacy"
                                               ? US_EAST_1_REGIONAL_ENDPOINT_OPTION::LEGACY
                                               : US_EAST_1_REGIONAL_ENDPOINT_OPTION::REGIONAL;
    }
    auto flag = [&](const char* env, const char* property, bool current) {
        Aws::String value = ClientConfiguration::LoadConfigFromEnvOrProfile(
            env, profile, property, {"true", "false"}, current ? "true" : "false");
        return value == "true";
    };
    disableMultiRegionAccessPoints =
        flag("AWS_S3_DISABLE_MULTIREGION_ACCESS_POINTS", "s3_disable_multiregion_access_points",
             disableMultiRegionAccessPoints);
    useArnRegion = flag("AWS_S3_USE_ARN_REGION", "s3_use_arn_region", useArnRegion);
    disableS3ExpressAuth = flag("AWS_S3_DISABLE_EXPRESS_SESSION_AUTH",
                                "s3_disable_express_session_auth", disableS3ExpressAuth);
}
}  // namespace S3
}  // namespace Aws
