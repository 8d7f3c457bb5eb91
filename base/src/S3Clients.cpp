#include "base/S3Clients.h"

#include <aws/core/auth/signer/AWSAuthV4Signer.h>
#include <aws/s3/S3ClientConfiguration.h>

std::shared_ptr<Aws::S3::S3Client> MakeS3Client(const Aws::Auth::AWSCredentials& credentials,
                                                const Aws::Client::ClientConfiguration& config) {
    // Payloads are never signed, so a backup file of many megabytes is not hashed before each
    // request goes out. A null endpoint provider keeps the SDK's own S3 endpoint rules, and the
    // us-east-1 endpoint choice is left to the SDK's resolution.
    const Aws::S3::S3ClientConfiguration s3Config(
        config, Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy::Never,
        /*iUseVirtualAddressing=*/true, Aws::S3::US_EAST_1_REGIONAL_ENDPOINT_OPTION::NOT_SET);
    return std::make_shared<Aws::S3::S3Client>(credentials, /*endpointProvider=*/nullptr, s3Config);
}
