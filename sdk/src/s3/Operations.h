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
BuiltOperation BuildOperation(const Model::ListMultipartUploadsRequest& r,
                              const S3ClientConfiguration& c);

// The result of a successful response. A Document answer arrives parsed, its root already
// known to be the operation's result element; a parser still refuses a result that lacks what
// the operation cannot do without (an upload id).
template <typename Result>
using ParseOutcome = Aws::Utils::Outcome<Result, CoreError>;

ParseOutcome<Model::ListBucketsResult> ParseListBuckets(OperationResponse& response);
ParseOutcome<Model::ListObjectsV2Result> ParseListObjectsV2(OperationResponse& response);
ParseOutcome<Model::GetBucketLocationResult> ParseGetBucketLocation(OperationResponse& response);
ParseOutcome<Model::PutObjectResult> ParsePutObject(OperationResponse& response);
ParseOutcome<Model::DeleteObjectResult> ParseDeleteObject(OperationResponse& response);
ParseOutcome<Model::CreateMultipartUploadResult> ParseCreateMultipartUpload(
    OperationResponse& response);
ParseOutcome<Model::UploadPartResult> ParseUploadPart(OperationResponse& response);
ParseOutcome<Model::CompleteMultipartUploadResult> ParseCompleteMultipartUpload(
    OperationResponse& response);
ParseOutcome<Model::AbortMultipartUploadResult> ParseAbortMultipartUpload(
    OperationResponse& response);
ParseOutcome<Model::GetObjectResult> ParseGetObject(OperationResponse& response);
ParseOutcome<Model::ListMultipartUploadsResult> ParseListMultipartUploads(
    OperationResponse& response);
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
