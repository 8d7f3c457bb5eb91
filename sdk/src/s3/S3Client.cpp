#include <aws/core/utils/StringUtils.h>
#include <aws/core/utils/memory/stl/AWSStringStream.h>
#include <aws/s3/S3Client.h>

#include "s3/ClientCore.h"
#include "s3/Operations.h"
#include "s3/Xml.h"

namespace Aws {
namespace S3 {
namespace Internal {
using Aws::Http::HttpMethod;
using Aws::Internal::ChildText;
using Aws::Internal::ElementText;
using Aws::Internal::HasChild;
using Aws::Internal::XmlDocument;
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
                const char* name, HttpMethod method) {
    request.name = name;
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
        request.checksumAlgorithmSetByCaller = true;
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
    CopyCommon(r, op, "ListBuckets", HttpMethod::HTTP_GET);
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
    CopyCommon(r, op, "ListObjectsV2", HttpMethod::HTTP_GET);
    op.bucket = r.GetBucket();
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
    CopyCommon(r, op, "GetBucketLocation", HttpMethod::HTTP_GET);
    op.bucket = r.GetBucket();
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
    CopyCommon(r, op, "PutObject", HttpMethod::HTTP_PUT);
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
    CopyCommon(r, op, "DeleteObject", HttpMethod::HTTP_DELETE);
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
    CopyCommon(r, op, "CreateMultipartUpload", HttpMethod::HTTP_POST);
    op.bucket = r.GetBucket();
    op.key = r.GetKey();
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
    CopyCommon(r, op, "UploadPart", HttpMethod::HTTP_PUT);
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
    CopyCommon(r, op, "CompleteMultipartUpload", HttpMethod::HTTP_POST);
    op.bucket = r.GetBucket();
    op.key = r.GetKey();
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
    CopyCommon(r, op, "AbortMultipartUpload", HttpMethod::HTTP_DELETE);
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
    CopyCommon(r, op, "GetObject", HttpMethod::HTTP_GET);
    op.bucket = r.GetBucket();
    op.key = r.GetKey();
    op.bodyIsContent = true;
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

namespace {
template <typename Result>
using OutcomeOf = Aws::Utils::Outcome<Result, S3Error>;

S3Error MissingField(const Aws::String& field) {
    return S3Error(Aws::Client::AWSError<Aws::Client::CoreErrors>(
        Aws::Client::CoreErrors::MISSING_PARAMETER, "MISSING_PARAMETER",
        "Missing required field [" + field + "]", false));
}

// Validates, sends and parses: the common shape of every operation.
template <typename Result, typename Request, typename Parser>
OutcomeOf<Result> Run(const ClientCore& core, const Request& request, Parser parse) {
    BuiltOperation built = BuildOperation(request, core.Configuration());
    if (!built.missing.empty()) return MissingField(built.missing);
    OperationOutcome outcome = core.Execute(built.request);
    if (!outcome.IsSuccess()) {
        OutcomeOf<Result> failed{S3Error(outcome.GetErrorWithOwnership())};
        failed.SetRetryCount(outcome.GetRetryCount());
        return failed;
    }
    OutcomeOf<Result> succeeded{parse(outcome.GetResult())};
    succeeded.SetRetryCount(outcome.GetRetryCount());
    return succeeded;
}
}  // namespace
}  // namespace Internal

using namespace Aws::S3::Model;
using Internal::OperationResponse;
using Internal::Run;

const char* S3Client::GetServiceName() { return "S3"; }
const char* S3Client::GetAllocationTag() { return "S3Client"; }

S3Client::S3Client(const S3ClientConfiguration& clientConfiguration,
                   std::shared_ptr<Endpoint::S3EndpointProviderBase> endpointProvider)
    : m_core(std::make_shared<Internal::ClientCore>(
          Aws::Auth::AWSCredentials(), std::move(endpointProvider), clientConfiguration)) {}

S3Client::S3Client(const Aws::Auth::AWSCredentials& credentials,
                   std::shared_ptr<Endpoint::S3EndpointProviderBase> endpointProvider,
                   const S3ClientConfiguration& clientConfiguration)
    : m_core(std::make_shared<Internal::ClientCore>(credentials, std::move(endpointProvider),
                                                    clientConfiguration)) {}

S3Client::S3Client(const Aws::Auth::AWSCredentials& credentials,
                   const Aws::Client::ClientConfiguration& clientConfiguration,
                   Aws::Client::AWSAuthV4Signer::PayloadSigningPolicy signPayloads,
                   bool useVirtualAddressing,
                   US_EAST_1_REGIONAL_ENDPOINT_OPTION USEast1RegionalEndPointOption)
    : m_core(std::make_shared<Internal::ClientCore>(
          credentials, nullptr,
          S3ClientConfiguration(clientConfiguration, signPayloads, useVirtualAddressing,
                                USEast1RegionalEndPointOption))) {}

S3Client::S3Client(const S3Client& rhs) = default;
S3Client::S3Client(S3Client&& rhs) noexcept = default;
S3Client& S3Client::operator=(const S3Client& rhs) = default;
S3Client& S3Client::operator=(S3Client&& rhs) noexcept = default;
S3Client::~S3Client() = default;

const S3ClientConfiguration& S3Client::GetClientConfiguration() const {
    return m_core->Configuration();
}

ListBucketsOutcome S3Client::ListBuckets(const ListBucketsRequest& request) const {
    return Run<ListBucketsResult>(*m_core, request, Internal::ParseListBuckets);
}

ListObjectsV2Outcome S3Client::ListObjectsV2(const ListObjectsV2Request& request) const {
    return Run<ListObjectsV2Result>(*m_core, request, Internal::ParseListObjectsV2);
}

GetBucketLocationOutcome S3Client::GetBucketLocation(
    const GetBucketLocationRequest& request) const {
    return Run<GetBucketLocationResult>(*m_core, request, Internal::ParseGetBucketLocation);
}

PutObjectOutcome S3Client::PutObject(const PutObjectRequest& request) const {
    return Run<PutObjectResult>(*m_core, request, [](const OperationResponse& response) {
        PutObjectResult result;
        result.SetETag(response.Header("etag"));
        result.SetChecksumCRC64NVME(response.Header("x-amz-checksum-crc64nvme"));
        result.SetChecksumCRC32(response.Header("x-amz-checksum-crc32"));
        result.SetVersionId(response.Header("x-amz-version-id"));
        result.SetRequestId(response.Header("x-amz-request-id"));
        return result;
    });
}

DeleteObjectOutcome S3Client::DeleteObject(const DeleteObjectRequest& request) const {
    return Run<DeleteObjectResult>(*m_core, request, [](const OperationResponse& response) {
        DeleteObjectResult result;
        result.SetDeleteMarker(response.Header("x-amz-delete-marker") == "true");
        result.SetVersionId(response.Header("x-amz-version-id"));
        result.SetRequestId(response.Header("x-amz-request-id"));
        return result;
    });
}

CreateMultipartUploadOutcome S3Client::CreateMultipartUpload(
    const CreateMultipartUploadRequest& request) const {
    return Run<CreateMultipartUploadResult>(*m_core, request, Internal::ParseCreateMultipartUpload);
}

UploadPartOutcome S3Client::UploadPart(const UploadPartRequest& request) const {
    return Run<UploadPartResult>(*m_core, request, [](const OperationResponse& response) {
        UploadPartResult result;
        result.SetETag(response.Header("etag"));
        result.SetChecksumCRC64NVME(response.Header("x-amz-checksum-crc64nvme"));
        result.SetChecksumCRC32(response.Header("x-amz-checksum-crc32"));
        result.SetRequestId(response.Header("x-amz-request-id"));
        return result;
    });
}

CompleteMultipartUploadOutcome S3Client::CompleteMultipartUpload(
    const CompleteMultipartUploadRequest& request) const {
    return Run<CompleteMultipartUploadResult>(*m_core, request,
                                              Internal::ParseCompleteMultipartUpload);
}

AbortMultipartUploadOutcome S3Client::AbortMultipartUpload(
    const AbortMultipartUploadRequest& request) const {
    return Run<AbortMultipartUploadResult>(*m_core, request, [](const OperationResponse& response) {
        AbortMultipartUploadResult result;
        result.SetRequestId(response.Header("x-amz-request-id"));
        return result;
    });
}

GetObjectOutcome S3Client::GetObject(const GetObjectRequest& request) const {
    Internal::BuiltOperation built = Internal::BuildOperation(request, m_core->Configuration());
    if (!built.missing.empty()) return Internal::MissingField(built.missing);
    Internal::OperationOutcome outcome = m_core->Execute(built.request);
    if (!outcome.IsSuccess()) {
        GetObjectOutcome failed{S3Error(outcome.GetErrorWithOwnership())};
        failed.SetRetryCount(outcome.GetRetryCount());
        return failed;
    }
    OperationResponse response = outcome.GetResultWithOwnership();
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
    GetObjectOutcome succeeded{std::move(result)};
    succeeded.SetRetryCount(outcome.GetRetryCount());
    return succeeded;
}
}  // namespace S3
}  // namespace Aws
