#pragma once

#include <aws/core/AmazonStreamingWebServiceRequest.h>
#include <aws/core/AmazonWebServiceRequest.h>
#include <aws/s3/S3_EXPORTS.h>

namespace Aws {
namespace S3 {
class AWS_S3_API S3Request : public Aws::AmazonWebServiceRequest {
  public:
    ~S3Request() override = default;
};

class AWS_S3_API StreamingS3Request : public Aws::AmazonStreamingWebServiceRequest {
  public:
    ~StreamingS3Request() override = default;
};
}  // namespace S3
}  // namespace Aws
