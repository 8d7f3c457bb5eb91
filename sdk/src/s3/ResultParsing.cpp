// Results of successful answers: from the parsed document, or from the headers.
#include <aws/core/utils/StringUtils.h>

#include "s3/Operations.h"
#include "s3/Xml.h"

namespace Aws {
namespace S3 {
namespace Internal {
using Aws::Internal::ChildText;
using Aws::Internal::ElementText;
using Aws::Internal::HasChild;
using Aws::Internal::XmlDocument;
using Aws::Utils::StringUtils;
using namespace Aws::S3::Model;

namespace {
const tinyxml2::XMLElement* Root(const OperationResponse& response) {
    return response.document ? response.document->Root() : nullptr;
}

Aws::String Trimmed(const Aws::String& text) { return StringUtils::Trim(text.c_str()); }

bool ParseBool(const Aws::String& text) {
    return StringUtils::ToLower(Trimmed(text).c_str()) == "true";
}

Aws::Utils::DateTime ParseIsoDate(const Aws::String& text) {
    return Aws::Utils::DateTime(Trimmed(text), Aws::Utils::DateFormat::ISO_8601);
}
}  // namespace

ParseOutcome<ListBucketsResult> ParseListBuckets(OperationResponse& response) {
    ListBucketsResult result;
    result.SetRequestId(response.Header("x-amz-request-id"));
    const auto* root = Root(response);
    if (!root) return result;
    if (const auto* buckets = root->FirstChildElement("Buckets")) {
        for (const auto* b = buckets->FirstChildElement("Bucket"); b;
             b = b->NextSiblingElement("Bucket")) {
            Bucket bucket;
            if (HasChild(b, "Name")) bucket.SetName(ChildText(b, "Name"));
            if (HasChild(b, "CreationDate")) {
                bucket.SetCreationDate(ParseIsoDate(ChildText(b, "CreationDate")));
            }
            if (HasChild(b, "BucketRegion")) bucket.SetBucketRegion(ChildText(b, "BucketRegion"));
            result.AddBuckets(std::move(bucket));
        }
    }
    if (HasChild(root, "ContinuationToken")) {
        result.SetContinuationToken(ChildText(root, "ContinuationToken"));
    }
    if (HasChild(root, "Prefix")) result.SetPrefix(ChildText(root, "Prefix"));
    return result;
}

ParseOutcome<ListObjectsV2Result> ParseListObjectsV2(OperationResponse& response) {
    ListObjectsV2Result result;
    result.SetRequestId(response.Header("x-amz-request-id"));
    const auto* root = Root(response);
    if (!root) return result;
    for (const auto* c = root->FirstChildElement("Contents"); c;
         c = c->NextSiblingElement("Contents")) {
        Object object;
        if (HasChild(c, "Key")) object.SetKey(ChildText(c, "Key"));
        if (HasChild(c, "LastModified")) {
            object.SetLastModified(ParseIsoDate(ChildText(c, "LastModified")));
        }
        if (HasChild(c, "ETag")) object.SetETag(ChildText(c, "ETag"));
        if (HasChild(c, "Size")) {
            object.SetSize(StringUtils::ConvertToInt64(Trimmed(ChildText(c, "Size")).c_str()));
        }
        if (HasChild(c, "StorageClass")) object.SetStorageClass(ChildText(c, "StorageClass"));
        result.AddContents(std::move(object));
    }
    for (const auto* p = root->FirstChildElement("CommonPrefixes"); p;
         p = p->NextSiblingElement("CommonPrefixes")) {
        CommonPrefix prefix;
        if (HasChild(p, "Prefix")) prefix.SetPrefix(ChildText(p, "Prefix"));
        result.AddCommonPrefixes(std::move(prefix));
    }
    if (HasChild(root, "IsTruncated"))
        result.SetIsTruncated(ParseBool(ChildText(root, "IsTruncated")));
    if (HasChild(root, "Name")) result.SetName(ChildText(root, "Name"));
    if (HasChild(root, "Prefix")) result.SetPrefix(ChildText(root, "Prefix"));
    if (HasChild(root, "Delimiter")) result.SetDelimiter(ChildText(root, "Delimiter"));
    if (HasChild(root, "MaxKeys")) {
        result.SetMaxKeys(StringUtils::ConvertToInt32(Trimmed(ChildText(root, "MaxKeys")).c_str()));
    }
    if (HasChild(root, "KeyCount")) {
        result.SetKeyCount(
            StringUtils::ConvertToInt32(Trimmed(ChildText(root, "KeyCount")).c_str()));
    }
    if (HasChild(root, "EncodingType")) {
        result.SetEncodingType(
            EncodingTypeMapper::GetEncodingTypeForName(Trimmed(ChildText(root, "EncodingType"))));
    }
    if (HasChild(root, "ContinuationToken")) {
        result.SetContinuationToken(ChildText(root, "ContinuationToken"));
    }
    if (HasChild(root, "NextContinuationToken")) {
        result.SetNextContinuationToken(ChildText(root, "NextContinuationToken"));
    }
    if (HasChild(root, "StartAfter")) result.SetStartAfter(ChildText(root, "StartAfter"));
    return result;
}

ParseOutcome<GetBucketLocationResult> ParseGetBucketLocation(OperationResponse& response) {
    GetBucketLocationResult result;
    result.SetRequestId(response.Header("x-amz-request-id"));
    const auto* root = Root(response);
    if (!root) return result;
    result.SetLocationConstraint(BucketLocationConstraintMapper::GetBucketLocationConstraintForName(
        Trimmed(ElementText(root))));
    return result;
}

ParseOutcome<CreateMultipartUploadResult> ParseCreateMultipartUpload(OperationResponse& response) {
    CreateMultipartUploadResult result;
    result.SetRequestId(response.Header("x-amz-request-id"));
    const auto* root = Root(response);
    if (root) {
        if (HasChild(root, "Bucket")) result.SetBucket(ChildText(root, "Bucket"));
        if (HasChild(root, "Key")) result.SetKey(ChildText(root, "Key"));
        if (HasChild(root, "UploadId")) result.SetUploadId(ChildText(root, "UploadId"));
    }
    // Parts sent without an upload id would be requests on nothing.
    if (result.GetUploadId().empty()) {
        CoreError error(Aws::Client::CoreErrors::UNKNOWN, "Xml Parse Error",
                        "The <InitiateMultipartUploadResult> names no UploadId", false);
        error.SetResponseHeaders(response.headers);
        error.SetResponseCode(response.responseCode);
        error.SetRemoteHostIpAddress(response.remoteIp);
        return error;
    }
    return result;
}

ParseOutcome<CompleteMultipartUploadResult> ParseCompleteMultipartUpload(
    OperationResponse& response) {
    CompleteMultipartUploadResult result;
    result.SetRequestId(response.Header("x-amz-request-id"));
    result.SetVersionId(response.Header("x-amz-version-id"));
    const auto* root = Root(response);
    if (!root) return result;
    if (HasChild(root, "Location")) {
        result.SetLocation(ChildText(root, "Location"));
    }
    if (HasChild(root, "Bucket")) result.SetBucket(ChildText(root, "Bucket"));
    if (HasChild(root, "Key")) result.SetKey(ChildText(root, "Key"));
    if (HasChild(root, "ETag")) result.SetETag(ChildText(root, "ETag"));
    if (HasChild(root, "ChecksumCRC64NVME")) {
        result.SetChecksumCRC64NVME(ChildText(root, "ChecksumCRC64NVME"));
    }
    return result;
}
ParseOutcome<ListMultipartUploadsResult> ParseListMultipartUploads(OperationResponse& response) {
    ListMultipartUploadsResult result;
    result.SetRequestId(response.Header("x-amz-request-id"));
    const auto* root = Root(response);
    if (!root) return result;
    for (const auto* u = root->FirstChildElement("Upload"); u;
         u = u->NextSiblingElement("Upload")) {
        MultipartUpload upload;
        if (HasChild(u, "Key")) upload.SetKey(ChildText(u, "Key"));
        if (HasChild(u, "UploadId")) upload.SetUploadId(ChildText(u, "UploadId"));
        if (HasChild(u, "Initiated")) upload.SetInitiated(ParseIsoDate(ChildText(u, "Initiated")));
        if (HasChild(u, "StorageClass")) upload.SetStorageClass(ChildText(u, "StorageClass"));
        result.AddUploads(std::move(upload));
    }
    for (const auto* p = root->FirstChildElement("CommonPrefixes"); p;
         p = p->NextSiblingElement("CommonPrefixes")) {
        CommonPrefix prefix;
        if (HasChild(p, "Prefix")) prefix.SetPrefix(ChildText(p, "Prefix"));
        result.AddCommonPrefixes(std::move(prefix));
    }
    if (HasChild(root, "Bucket")) result.SetBucket(ChildText(root, "Bucket"));
    if (HasChild(root, "KeyMarker")) result.SetKeyMarker(ChildText(root, "KeyMarker"));
    if (HasChild(root, "UploadIdMarker"))
        result.SetUploadIdMarker(ChildText(root, "UploadIdMarker"));
    if (HasChild(root, "NextKeyMarker")) result.SetNextKeyMarker(ChildText(root, "NextKeyMarker"));
    if (HasChild(root, "NextUploadIdMarker")) {
        result.SetNextUploadIdMarker(ChildText(root, "NextUploadIdMarker"));
    }
    if (HasChild(root, "Prefix")) result.SetPrefix(ChildText(root, "Prefix"));
    if (HasChild(root, "Delimiter")) result.SetDelimiter(ChildText(root, "Delimiter"));
    if (HasChild(root, "MaxUploads")) {
        result.SetMaxUploads(
            StringUtils::ConvertToInt32(Trimmed(ChildText(root, "MaxUploads")).c_str()));
    }
    if (HasChild(root, "IsTruncated")) {
        result.SetIsTruncated(ParseBool(ChildText(root, "IsTruncated")));
    }
    if (HasChild(root, "EncodingType")) {
        result.SetEncodingType(
            EncodingTypeMapper::GetEncodingTypeForName(Trimmed(ChildText(root, "EncodingType"))));
    }
    return result;
}

ParseOutcome<PutObjectResult> ParsePutObject(OperationResponse& response) {
    PutObjectResult result;
    result.SetETag(response.Header("etag"));
    result.SetChecksumCRC64NVME(response.Header("x-amz-checksum-crc64nvme"));
    result.SetChecksumCRC32(response.Header("x-amz-checksum-crc32"));
    result.SetVersionId(response.Header("x-amz-version-id"));
    result.SetRequestId(response.Header("x-amz-request-id"));
    return result;
}

ParseOutcome<DeleteObjectResult> ParseDeleteObject(OperationResponse& response) {
    DeleteObjectResult result;
    result.SetDeleteMarker(response.Header("x-amz-delete-marker") == "true");
    result.SetVersionId(response.Header("x-amz-version-id"));
    result.SetRequestId(response.Header("x-amz-request-id"));
    return result;
}

ParseOutcome<UploadPartResult> ParseUploadPart(OperationResponse& response) {
    UploadPartResult result;
    result.SetETag(response.Header("etag"));
    result.SetChecksumCRC64NVME(response.Header("x-amz-checksum-crc64nvme"));
    result.SetChecksumCRC32(response.Header("x-amz-checksum-crc32"));
    result.SetRequestId(response.Header("x-amz-request-id"));
    return result;
}

ParseOutcome<AbortMultipartUploadResult> ParseAbortMultipartUpload(OperationResponse& response) {
    AbortMultipartUploadResult result;
    result.SetRequestId(response.Header("x-amz-request-id"));
    return result;
}

ParseOutcome<GetObjectResult> ParseGetObject(OperationResponse& response) {
    GetObjectResult result;
    result.ReplaceBody(response.body.release());  // the caller's stream, handed over as is
    result.SetContentLength(
        Aws::Utils::StringUtils::ConvertToInt64(response.Header("content-length").c_str()));
    result.SetETag(response.Header("etag"));
    result.SetContentRange(response.Header("content-range"));
    result.SetContentType(response.Header("content-type"));
    if (!response.Header("last-modified").empty()) {
        result.SetLastModified(
            Aws::Utils::DateTime(response.Header("last-modified"), Aws::Utils::DateFormat::RFC822));
    }
    result.SetChecksumCRC64NVME(response.Header("x-amz-checksum-crc64nvme"));
    result.SetVersionId(response.Header("x-amz-version-id"));
    result.SetRequestId(response.Header("x-amz-request-id"));
    return result;
}
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
