#pragma once

#include <aws/s3/S3Client.h>

#include "s3/ClientCore.h"

namespace Aws {
namespace S3 {
namespace Internal {
// The wire form of each operation: method, query in the order upstream sends it, headers,
// body and checksum behaviour. An empty `missing` means the request is complete; otherwise it
// names the first required field that is not set (or empty).
struct BuiltOperation {
    OperationRequest request;
    Aws::String missing;
};

BuiltOperation BuildOperation(const Model::ListBucketsRequest& r, const S3ClientConfiguration& c);
BuiltOperation BuildOperation(const Model::ListObjectsV2Request& r, const S3ClientConfiguration& c);
BuiltOperation BuildOperation(const Model::GetBucketLocationRequest& r,
                              const S3ClientConfiguration& c);
BuiltOperation BuildOperation(const Model::PutObjectRequest& r, const S3ClientConfiguration& c);
BuiltOperation BuildOperation(const Model::DeleteObjectRequest& r, const S3ClientConfiguration& c);
BuiltOperation BuildOperation(const Model::CreateMultipartUploadRequest& r,
                              const S3ClientConfiguration& c);
BuiltOperation BuildOperation(const Model::UploadPartRequest& r, const S3ClientConfiguration& c);
BuiltOperation BuildOperation(const Model::CompleteMultipartUploadRequest& r,
                              const S3ClientConfiguration& c);
BuiltOperation BuildOperation(const Model::AbortMultipartUploadRequest& r,
                              const S3ClientConfiguration& c);
BuiltOperation BuildOperation(const Model::GetObjectRequest& r, const S3ClientConfiguration& c);

// Result parsing from a successful response.
Model::ListBucketsResult ParseListBuckets(const OperationResponse& response);
Model::ListObjectsV2Result ParseListObjectsV2(const OperationResponse& response);
Model::GetBucketLocationResult ParseGetBucketLocation(const OperationResponse& response);
Model::CreateMultipartUploadResult ParseCreateMultipartUpload(const OperationResponse& response);
Model::CompleteMultipartUploadResult ParseCompleteMultipartUpload(
    const OperationResponse& response);
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
