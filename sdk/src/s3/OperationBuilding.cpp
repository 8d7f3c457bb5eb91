// The wire form of each operation: method, query parameters in the order upstream sends them,
// headers, body, checksum behaviour and what a successful answer carries.
#include <aws/core/utils/StringUtils.h>
#include <aws/core/utils/memory/stl/AWSStringStream.h>

#include "s3/Operations.h"

namespace Aws {
namespace S3 {
namespace Internal {
using Aws::Http::HttpMethod;
using Aws::Utils::StringUtils;
using namespace Aws::S3::Model;

namespace {
void AddQuery(OperationRequest& request, const char* name, const Aws::String& value) {
    request.query.push_back({name, value, false});
}

void AddBareQuery(OperationRequest& request, const char* name) {
    request.query.push_back({name, "", true});
}

void RequireString(BuiltOperation& built, bool isSet, const Aws::String& value, const char* name) {
    if (built.missing.empty() && (!isSet || value.empty())) built.missing = name;
}

void RequireSet(BuiltOperation& built, bool isSet, const char* name) {
    if (built.missing.empty() && !isSet) built.missing = name;
}

void CopyCommon(const Aws::AmazonWebServiceRequest& model, OperationRequest& request,
                HttpMethod method) {
    request.method = method;
    request.headers = model.GetAdditionalCustomHeaders();
    request.responseStreamFactory = model.GetResponseStreamFactory();
}

void AddMetadata(OperationRequest& request, const Aws::Map<Aws::String, Aws::String>& metadata) {
    for (const auto& entry : metadata) {
        request.headers["x-amz-meta-" + StringUtils::ToLower(entry.first.c_str())] = entry.second;
    }
}

// Flexible checksums for uploads: the caller's algorithm if one was chosen, otherwise CRC64NVME
// unless the configuration only wants checksums where the operation requires them.
void ChooseUploadChecksum(OperationRequest& request, bool algorithmSet, ChecksumAlgorithm algorithm,
                          const S3ClientConfiguration& config) {
    if (algorithmSet && algorithm != ChecksumAlgorithm::NOT_SET) {
        request.checksum = algorithm;
    } else if (config.checksumConfig.requestChecksumCalculation ==
               Aws::Client::RequestChecksumCalculation::WHEN_SUPPORTED) {
        request.checksum = ChecksumAlgorithm::CRC64NVME;
    }
}

Aws::String EscapeXmlText(const Aws::String& text) {
    Aws::String out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

}  // namespace

BuiltOperation BuildOperation(const ListBucketsRequest& r, const S3ClientConfiguration&) {
    BuiltOperation built;
    OperationRequest& op = built.request;
    CopyCommon(r, op, HttpMethod::HTTP_GET);
    op.answer = AnswerKind::Document;
    op.resultRoot = "ListAllMyBucketsResult";
    if (r.MaxBucketsHasBeenSet()) AddQuery(op, "max-buckets", std::to_string(r.GetMaxBuckets()));
    if (r.ContinuationTokenHasBeenSet())
        AddQuery(op, "continuation-token", r.GetContinuationToken());
    if (r.PrefixHasBeenSet()) AddQuery(op, "prefix", r.GetPrefix());
    if (r.BucketRegionHasBeenSet()) AddQuery(op, "bucket-region", r.GetBucketRegion());
    return built;
}

BuiltOperation BuildOperation(const ListObjectsV2Request& r, const S3ClientConfiguration&) {
    BuiltOperation built;
    RequireString(built, r.BucketHasBeenSet(), r.GetBucket(), "Bucket");
    OperationRequest& op = built.request;
    CopyCommon(r, op, HttpMethod::HTTP_GET);
    op.bucket = r.GetBucket();
    op.answer = AnswerKind::Document;
    op.resultRoot = "ListBucketResult";
    AddQuery(op, "list-type", "2");
    if (r.DelimiterHasBeenSet()) AddQuery(op, "delimiter", r.GetDelimiter());
    if (r.EncodingTypeHasBeenSet() && r.GetEncodingType() != EncodingType::NOT_SET) {
        AddQuery(op, "encoding-type",
                 EncodingTypeMapper::GetNameForEncodingType(r.GetEncodingType()));
    }
    if (r.MaxKeysHasBeenSet()) AddQuery(op, "max-keys", std::to_string(r.GetMaxKeys()));
    if (r.PrefixHasBeenSet()) AddQuery(op, "prefix", r.GetPrefix());
    if (r.ContinuationTokenHasBeenSet())
        AddQuery(op, "continuation-token", r.GetContinuationToken());
    if (r.FetchOwnerHasBeenSet()) AddQuery(op, "fetch-owner", r.GetFetchOwner() ? "1" : "0");
    if (r.StartAfterHasBeenSet()) AddQuery(op, "start-after", r.GetStartAfter());
    return built;
}

BuiltOperation BuildOperation(const GetBucketLocationRequest& r, const S3ClientConfiguration&) {
    BuiltOperation built;
    RequireString(built, r.BucketHasBeenSet(), r.GetBucket(), "Bucket");
    OperationRequest& op = built.request;
    CopyCommon(r, op, HttpMethod::HTTP_GET);
    op.bucket = r.GetBucket();
    op.answer = AnswerKind::Document;
    op.resultRoot = "LocationConstraint";
    AddBareQuery(op, "location");
    if (r.ExpectedBucketOwnerHasBeenSet()) {
        op.headers["x-amz-expected-bucket-owner"] = r.GetExpectedBucketOwner();
    }
    return built;
}

BuiltOperation BuildOperation(const PutObjectRequest& r, const S3ClientConfiguration& c) {
    BuiltOperation built;
    RequireString(built, r.BucketHasBeenSet(), r.GetBucket(), "Bucket");
    RequireString(built, r.KeyHasBeenSet(), r.GetKey(), "Key");
    OperationRequest& op = built.request;
    CopyCommon(r, op, HttpMethod::HTTP_PUT);
    op.bucket = r.GetBucket();
    op.key = r.GetKey();
    op.streaming = true;
    op.body = r.GetBody();
    op.contentType = r.GetContentType();
    op.contentLengthSet = r.ContentLengthHasBeenSet();
    op.contentLength = r.GetContentLength();
    if (r.ContentMD5HasBeenSet()) op.headers["content-md5"] = r.GetContentMD5();
    if (r.StorageClassHasBeenSet()) op.headers["x-amz-storage-class"] = r.GetStorageClass();
    AddMetadata(op, r.GetMetadata());
    ChooseUploadChecksum(op, r.ChecksumAlgorithmHasBeenSet(), r.GetChecksumAlgorithm(), c);
    return built;
}

BuiltOperation BuildOperation(const DeleteObjectRequest& r, const S3ClientConfiguration&) {
    BuiltOperation built;
    RequireString(built, r.BucketHasBeenSet(), r.GetBucket(), "Bucket");
    RequireString(built, r.KeyHasBeenSet(), r.GetKey(), "Key");
    OperationRequest& op = built.request;
    CopyCommon(r, op, HttpMethod::HTTP_DELETE);
    op.bucket = r.GetBucket();
    op.key = r.GetKey();
    if (r.VersionIdHasBeenSet()) AddQuery(op, "versionId", r.GetVersionId());
    return built;
}

BuiltOperation BuildOperation(const CreateMultipartUploadRequest& r, const S3ClientConfiguration&) {
    BuiltOperation built;
    RequireString(built, r.BucketHasBeenSet(), r.GetBucket(), "Bucket");
    RequireString(built, r.KeyHasBeenSet(), r.GetKey(), "Key");
    OperationRequest& op = built.request;
    CopyCommon(r, op, HttpMethod::HTTP_POST);
    op.bucket = r.GetBucket();
    op.key = r.GetKey();
    op.answer = AnswerKind::Document;
    op.resultRoot = "InitiateMultipartUploadResult";
    AddBareQuery(op, "uploads");
    if (r.ContentTypeHasBeenSet()) op.contentType = r.GetContentType();
    if (r.ChecksumAlgorithmHasBeenSet() && r.GetChecksumAlgorithm() != ChecksumAlgorithm::NOT_SET) {
        op.headers["x-amz-checksum-algorithm"] =
            ChecksumAlgorithmMapper::GetNameForChecksumAlgorithm(r.GetChecksumAlgorithm());
    }
    if (r.StorageClassHasBeenSet()) op.headers["x-amz-storage-class"] = r.GetStorageClass();
    AddMetadata(op, r.GetMetadata());
    return built;
}

BuiltOperation BuildOperation(const UploadPartRequest& r, const S3ClientConfiguration& c) {
    BuiltOperation built;
    RequireString(built, r.BucketHasBeenSet(), r.GetBucket(), "Bucket");
    RequireString(built, r.KeyHasBeenSet(), r.GetKey(), "Key");
    RequireSet(built, r.PartNumberHasBeenSet(), "PartNumber");
    RequireString(built, r.UploadIdHasBeenSet(), r.GetUploadId(), "UploadId");
    OperationRequest& op = built.request;
    CopyCommon(r, op, HttpMethod::HTTP_PUT);
    op.bucket = r.GetBucket();
    op.key = r.GetKey();
    AddQuery(op, "partNumber", std::to_string(r.GetPartNumber()));
    AddQuery(op, "uploadId", r.GetUploadId());
    op.streaming = true;
    op.body = r.GetBody();
    op.contentType = r.GetContentType();
    op.contentLengthSet = r.ContentLengthHasBeenSet();
    op.contentLength = r.GetContentLength();
    if (r.ContentMD5HasBeenSet()) op.headers["content-md5"] = r.GetContentMD5();
    ChooseUploadChecksum(op, r.ChecksumAlgorithmHasBeenSet(), r.GetChecksumAlgorithm(), c);
    return built;
}

BuiltOperation BuildOperation(const CompleteMultipartUploadRequest& r,
                              const S3ClientConfiguration&) {
    BuiltOperation built;
    RequireString(built, r.BucketHasBeenSet(), r.GetBucket(), "Bucket");
    RequireString(built, r.KeyHasBeenSet(), r.GetKey(), "Key");
    RequireString(built, r.UploadIdHasBeenSet(), r.GetUploadId(), "UploadId");
    OperationRequest& op = built.request;
    CopyCommon(r, op, HttpMethod::HTTP_POST);
    op.bucket = r.GetBucket();
    op.key = r.GetKey();
    op.answer = AnswerKind::Document;
    op.resultRoot = "CompleteMultipartUploadResult";
    // Some S3 implementations name the element after the response rather than the result.
    op.resultRootAlias = "CompleteMultipartUploadResponse";
    AddQuery(op, "uploadId", r.GetUploadId());
    if (r.MultipartUploadHasBeenSet()) {
        Aws::String xml =
            "<?xml version=\"1.0\"?>\n<CompleteMultipartUpload "
            "xmlns=\"http://s3.amazonaws.com/doc/2006-03-01/\">";
        for (const CompletedPart& part : r.GetMultipartUpload().GetParts()) {
            xml += "<Part>";
            if (part.ETagHasBeenSet()) xml += "<ETag>" + EscapeXmlText(part.GetETag()) + "</ETag>";
            if (part.ChecksumCRC64NVMEHasBeenSet()) {
                xml += "<ChecksumCRC64NVME>" + EscapeXmlText(part.GetChecksumCRC64NVME()) +
                       "</ChecksumCRC64NVME>";
            }
            if (part.PartNumberHasBeenSet()) {
                xml += "<PartNumber>" + std::to_string(part.GetPartNumber()) + "</PartNumber>";
            }
            xml += "</Part>";
        }
        xml += "</CompleteMultipartUpload>\n";
        op.body = std::make_shared<Aws::StringStream>(xml);
    }
    return built;
}

BuiltOperation BuildOperation(const AbortMultipartUploadRequest& r, const S3ClientConfiguration&) {
    BuiltOperation built;
    RequireString(built, r.BucketHasBeenSet(), r.GetBucket(), "Bucket");
    RequireString(built, r.KeyHasBeenSet(), r.GetKey(), "Key");
    RequireString(built, r.UploadIdHasBeenSet(), r.GetUploadId(), "UploadId");
    OperationRequest& op = built.request;
    CopyCommon(r, op, HttpMethod::HTTP_DELETE);
    op.bucket = r.GetBucket();
    op.key = r.GetKey();
    AddQuery(op, "uploadId", r.GetUploadId());
    return built;
}

BuiltOperation BuildOperation(const GetObjectRequest& r, const S3ClientConfiguration& c) {
    BuiltOperation built;
    RequireString(built, r.BucketHasBeenSet(), r.GetBucket(), "Bucket");
    RequireString(built, r.KeyHasBeenSet(), r.GetKey(), "Key");
    OperationRequest& op = built.request;
    CopyCommon(r, op, HttpMethod::HTTP_GET);
    op.bucket = r.GetBucket();
    op.key = r.GetKey();
    op.answer = AnswerKind::Content;
    if (r.PartNumberHasBeenSet()) AddQuery(op, "partNumber", std::to_string(r.GetPartNumber()));
    if (r.VersionIdHasBeenSet()) AddQuery(op, "versionId", r.GetVersionId());
    if (r.RangeHasBeenSet()) op.headers["range"] = r.GetRange();
    const bool enabled = r.ChecksumModeHasBeenSet() && r.GetChecksumMode() == ChecksumMode::ENABLED;
    if (enabled || c.checksumConfig.responseChecksumValidation ==
                       Aws::Client::ResponseChecksumValidation::WHEN_SUPPORTED) {
        op.headers["x-amz-checksum-mode"] = "enabled";
        op.validateResponseChecksum = true;
    }
    return built;
}

BuiltOperation BuildOperation(const ListMultipartUploadsRequest& r, const S3ClientConfiguration&) {
    BuiltOperation built;
    RequireString(built, r.BucketHasBeenSet(), r.GetBucket(), "Bucket");
    OperationRequest& op = built.request;
    CopyCommon(r, op, HttpMethod::HTTP_GET);
    op.bucket = r.GetBucket();
    op.answer = AnswerKind::Document;
    op.resultRoot = "ListMultipartUploadsResult";
    AddBareQuery(op, "uploads");
    if (r.DelimiterHasBeenSet()) AddQuery(op, "delimiter", r.GetDelimiter());
    if (r.EncodingTypeHasBeenSet() && r.GetEncodingType() != EncodingType::NOT_SET) {
        AddQuery(op, "encoding-type",
                 EncodingTypeMapper::GetNameForEncodingType(r.GetEncodingType()));
    }
    if (r.KeyMarkerHasBeenSet()) AddQuery(op, "key-marker", r.GetKeyMarker());
    if (r.MaxUploadsHasBeenSet()) AddQuery(op, "max-uploads", std::to_string(r.GetMaxUploads()));
    if (r.PrefixHasBeenSet()) AddQuery(op, "prefix", r.GetPrefix());
    if (r.UploadIdMarkerHasBeenSet()) AddQuery(op, "upload-id-marker", r.GetUploadIdMarker());
    return built;
}

}  // namespace Internal
}  // namespace S3
}  // namespace Aws
