// The public client: every operation is built, sent and parsed by the same Run.
#include <aws/s3/S3Client.h>

#include "s3/ClientCore.h"
#include "s3/Operations.h"

#include <new>

namespace Aws {
namespace S3 {
namespace Internal {
using namespace Aws::S3::Model;

namespace {
template <typename Result>
using OutcomeOf = Aws::Utils::Outcome<Result, S3Error>;

S3Error MissingField(const Aws::String& field) {
    return S3Error(Aws::Client::AWSError<Aws::Client::CoreErrors>(
        Aws::Client::CoreErrors::MISSING_PARAMETER, "MISSING_PARAMETER",
        "Missing required field [" + field + "]", false));
}

// Validates, sends and parses: the path of every operation. The parser gets the response whole
// (GetObject takes its body stream over) and may still refuse it.
template <typename Result, typename Request, typename Parser>
OutcomeOf<Result> Run(const ClientCore& core, const Request& request, Parser parse) {
    try {
        BuiltOperation built = BuildOperation(request, core.Configuration());
        if (!built.missing.empty()) return MissingField(built.missing);
        OperationOutcome outcome = core.Execute(built.request);
        if (!outcome.IsSuccess()) {
            OutcomeOf<Result> failed{S3Error(outcome.GetErrorWithOwnership())};
            failed.SetRetryCount(outcome.GetRetryCount());
            return failed;
        }
        ParseOutcome<Result> parsed = parse(outcome.GetResult());
        OutcomeOf<Result> result = parsed.IsSuccess()
                                       ? OutcomeOf<Result>(parsed.GetResultWithOwnership())
                                       : OutcomeOf<Result>(S3Error(parsed.GetErrorWithOwnership()));
        result.SetRetryCount(outcome.GetRetryCount());
        return result;
    } catch (const std::bad_alloc&) {
        // Nothing of the operation can be trusted to have happened, and trying again in the
        // same state would only fail the same way.
        return S3Error(Aws::Client::AWSError<Aws::Client::CoreErrors>(
            Aws::Client::CoreErrors::UNKNOWN, "", "Out of memory while sending the request",
            false));
    }
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
    return Run<PutObjectResult>(*m_core, request, Internal::ParsePutObject);
}

DeleteObjectOutcome S3Client::DeleteObject(const DeleteObjectRequest& request) const {
    return Run<DeleteObjectResult>(*m_core, request, Internal::ParseDeleteObject);
}

CreateMultipartUploadOutcome S3Client::CreateMultipartUpload(
    const CreateMultipartUploadRequest& request) const {
    return Run<CreateMultipartUploadResult>(*m_core, request, Internal::ParseCreateMultipartUpload);
}

UploadPartOutcome S3Client::UploadPart(const UploadPartRequest& request) const {
    return Run<UploadPartResult>(*m_core, request, Internal::ParseUploadPart);
}

CompleteMultipartUploadOutcome S3Client::CompleteMultipartUpload(
    const CompleteMultipartUploadRequest& request) const {
    return Run<CompleteMultipartUploadResult>(*m_core, request,
                                              Internal::ParseCompleteMultipartUpload);
}

AbortMultipartUploadOutcome S3Client::AbortMultipartUpload(
    const AbortMultipartUploadRequest& request) const {
    return Run<AbortMultipartUploadResult>(*m_core, request, Internal::ParseAbortMultipartUpload);
}

GetObjectOutcome S3Client::GetObject(const GetObjectRequest& request) const {
    return Run<GetObjectResult>(*m_core, request, Internal::ParseGetObject);
}

ListMultipartUploadsOutcome S3Client::ListMultipartUploads(
    const ListMultipartUploadsRequest& request) const {
    return Run<ListMultipartUploadsResult>(*m_core, request, Internal::ParseListMultipartUploads);
}
}  // namespace S3
}  // namespace Aws
