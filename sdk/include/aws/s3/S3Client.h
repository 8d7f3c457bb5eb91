#pragma once

#include <aws/core/auth/AWSCredentials.h>
#include <aws/core/auth/signer/AWSAuthV4Signer.h>
#include <aws/core/client/ClientConfiguration.h>
#include <aws/s3/S3ClientConfiguration.h>
#include <aws/s3/S3EndpointProvider.h>
#include <aws/s3/S3Errors.h>
#include <aws/s3/S3ServiceClientModel.h>
#include <aws/s3/S3_EXPORTS.h>
#include <aws/s3/model/AbortMultipartUploadRequest.h>
#include <aws/s3/model/CompleteMultipartUploadRequest.h>
#include <aws/s3/model/CreateMultipartUploadRequest.h>
#include <aws/s3/model/DeleteObjectRequest.h>
#include <aws/s3/model/GetBucketLocationRequest.h>
#include <aws/s3/model/GetObjectRequest.h>
#include <aws/s3/model/ListBucketsRequest.h>
#include <aws/s3/model/ListMultipartUploadsRequest.h>
#include <aws/s3/model/ListObjectsV2Request.h>
#include <aws/s3/model/PutObjectRequest.h>
#include <aws/s3/model/UploadPartRequest.h>

#include <memory>

namespace Aws {
namespace S3 {
namespace Internal {
class ClientCore;
}  // namespace Internal

// S3 operations over HTTP(S) with Signature Version 4, static credentials and a pool of
// connections (at most maxConnections). Operations are thread-safe and never throw; every
// failure, including a request that could not be sent, is an error outcome.
// Copies share the configuration and the connection pool.
class AWS_S3_API S3Client {
  public:
    using ClientConfigurationType = Aws::S3::S3ClientConfiguration;
    static const char* GetServiceName();
    static const char* GetAllocationTag();

    S3Client(const Aws::S3::S3ClientConfiguration& clientConfiguration =
                 Aws::S3::S3ClientConfiguration(),
             std::shared_ptr<Endpoint::S3EndpointProviderBase> endpointProvider = nullptr);

    // A null endpoint provider means the built-in S3 endpoint rules.
    S3Client(const Aws::Auth::AWSCredentials& credentials,
             std::shared_ptr<Endpoint::S3EndpointProviderBase> endpointProvider = nullptr,
             const Aws::S3::S3ClientConfiguration& clientConfiguration =
                 Aws::S3::S3ClientConfiguration());

    // Older form, kept for source compatibility.
    S3Client(const Aws::Auth::AWSCredentials& credentials,
             const Aws::Client::ClientConfiguration& clientConfiguration,
             Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy signPayloads,
             bool useVirtualAddressing,
             Aws::S3::US_EAST_1_REGIONAL_ENDPOINT_OPTION USEast1RegionalEndPointOption =
                 Aws::S3::US_EAST_1_REGIONAL_ENDPOINT_OPTION::NOT_SET);

    S3Client(const S3Client& rhs);
    S3Client(S3Client&& rhs) noexcept;
    S3Client& operator=(const S3Client& rhs);
    S3Client& operator=(S3Client&& rhs) noexcept;
    virtual ~S3Client();

    virtual Model::ListBucketsOutcome ListBuckets(
        const Model::ListBucketsRequest& request = {}) const;
    virtual Model::ListObjectsV2Outcome ListObjectsV2(
        const Model::ListObjectsV2Request& request) const;
    virtual Model::GetBucketLocationOutcome GetBucketLocation(
        const Model::GetBucketLocationRequest& request) const;
    virtual Model::PutObjectOutcome PutObject(const Model::PutObjectRequest& request) const;
    virtual Model::DeleteObjectOutcome DeleteObject(
        const Model::DeleteObjectRequest& request) const;
    virtual Model::CreateMultipartUploadOutcome CreateMultipartUpload(
        const Model::CreateMultipartUploadRequest& request) const;
    virtual Model::UploadPartOutcome UploadPart(const Model::UploadPartRequest& request) const;
    virtual Model::CompleteMultipartUploadOutcome CompleteMultipartUpload(
        const Model::CompleteMultipartUploadRequest& request) const;
    virtual Model::AbortMultipartUploadOutcome AbortMultipartUpload(
        const Model::AbortMultipartUploadRequest& request) const;
    virtual Model::GetObjectOutcome GetObject(const Model::GetObjectRequest& request) const;
    virtual Model::ListMultipartUploadsOutcome ListMultipartUploads(
        const Model::ListMultipartUploadsRequest& request) const;

    const Aws::S3::S3ClientConfiguration& GetClientConfiguration() const;

  private:
    std::shared_ptr<Internal::ClientCore> m_core;
};
}  // namespace S3
}  // namespace Aws
