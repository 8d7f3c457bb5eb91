#pragma once

#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/s3/S3ClientConfiguration.h>
#include <aws/s3/S3_EXPORTS.h>

namespace Aws {
namespace S3 {
namespace Endpoint {
// The inputs of the S3 endpoint rules for one request.
struct S3EndpointParameters {
    Aws::String region;
    Aws::String bucket;  // empty for requests without a bucket (ListBuckets)
    // Full URL ("scheme://host[:port][/path]") or empty.
    Aws::String endpoint;
    bool forcePathStyle = false;
    bool useGlobalEndpoint = false;
    bool useFIPS = false;
    bool useDualStack = false;
};

// Where a request goes: the base URL (bucket already placed in the host or the path) and the
// region to sign for. Either url is set or errorMessage says why no endpoint applies.
struct S3ResolvedEndpoint {
    Aws::String url;
    Aws::String signingRegion;
    Aws::String errorMessage;
    bool IsSuccess() const { return errorMessage.empty(); }
};

// Resolves request endpoints. S3Client uses the built-in S3 rules (S3EndpointProvider) when it
// is given no provider.
class AWS_S3_API S3EndpointProviderBase {
  public:
    virtual ~S3EndpointProviderBase() = default;
    virtual S3ResolvedEndpoint ResolveEndpoint(const S3EndpointParameters& parameters) const = 0;
};

// The S3 rules for the aws and aws-cn partitions: virtual-host addressing where the bucket is
// a DNS label, path style otherwise, regional or global us-east-1, endpoint overrides.
class AWS_S3_API S3EndpointProvider : public S3EndpointProviderBase {
  public:
    S3ResolvedEndpoint ResolveEndpoint(const S3EndpointParameters& parameters) const override;
};
}  // namespace Endpoint
}  // namespace S3
}  // namespace Aws
