// The machinery behind S3Client. An operation travels through four stages, one file each:
//   RequestPlanning.cpp    endpoint, path, query, headers, body length, payload hash and
//                          checksum placement: everything that is the same for every attempt;
//   RequestSigning.cpp     the per-attempt headers and the Signature Version 4 authorization;
//   RetryLoop.cpp          attempts, delays and the clock-skew correction;
//   ResponseClassification.cpp
//                          whether an attempt succeeded, and the one parse of its answer.
#pragma once

#include <aws/core/AmazonWebServiceRequest.h>
#include <aws/core/auth/AWSCredentials.h>
#include <aws/core/utils/Outcome.h>
#include <aws/s3/S3ClientConfiguration.h>
#include <aws/s3/S3EndpointProvider.h>
#include <aws/s3/model/ChecksumAlgorithm.h>

#include "core/CurlHttp.h"
#include "core/Signer.h"
#include "s3/ErrorMarshaller.h"
#include "s3/Xml.h"

#include <atomic>
#include <memory>

namespace Aws {
namespace S3 {
namespace Internal {
using Aws::Internal::CoreError;

struct QueryParameter {
    Aws::String name;
    Aws::String value;
    bool bare = false;  // sent as "?uploads", signed as "uploads="
};

// What the successful answer of an operation carries.
enum class AnswerKind {
    Headers,   // nothing but headers; a body that is an <Error> document still fails
    Document,  // an XML document whose root element is OperationRequest::resultRoot
    Content,   // the object's bytes (GetObject), written to the response stream as they come
};

// One operation as the client sends it, independent of the model class it came from.
struct OperationRequest {
    Aws::Http::HttpMethod method = Aws::Http::HttpMethod::HTTP_GET;
    Aws::String bucket;  // empty for requests on the service (ListBuckets)
    Aws::String key;     // empty for requests on a bucket
    Aws::Vector<QueryParameter> query;
    Aws::Http::HeaderValueCollection headers;  // model and caller headers, lower-case
    std::shared_ptr<Aws::IOStream> body;
    bool streaming = false;  // PutObject, UploadPart: binary/octet-stream, no api version
    Aws::String contentType;
    bool contentLengthSet = false;
    long long contentLength = 0;
    // The request checksum to add (NOT_SET: none) and whether the caller asked for it.
    Aws::S3::Model::ChecksumAlgorithm checksum = Aws::S3::Model::ChecksumAlgorithm::NOT_SET;
    bool validateResponseChecksum = false;
    AnswerKind answer = AnswerKind::Headers;
    const char* resultRoot = nullptr;       // Document answers only
    const char* resultRootAlias = nullptr;  // another name for it that services are known to send
    Aws::IOStreamFactory responseStreamFactory;
};

struct OperationResponse {
    Aws::Http::HttpResponseCode responseCode = Aws::Http::HttpResponseCode::REQUEST_NOT_MADE;
    Aws::Http::HeaderValueCollection headers;
    Aws::String remoteIp;
    // Content answers: the stream the object's bytes went into, read position at 0.
    std::unique_ptr<Aws::IOStream> body;
    // Document answers: the answer, parsed once; its root is the operation's result element.
    std::unique_ptr<Aws::Internal::XmlDocument> document;

    Aws::String Header(const char* name) const {
        auto it = headers.find(name);
        return it == headers.end() ? Aws::String() : it->second;
    }
};

using OperationOutcome = Aws::Utils::Outcome<OperationResponse, CoreError>;

// An operation turned into its wire form, everything except what changes per attempt
// (x-amz-date, amz-sdk-request, the signature).
struct RequestPlan {
    Aws::Internal::HttpRequest http;
    Aws::String canonicalPath;
    Aws::Internal::QueryParameters signingQuery;
    Aws::String payloadHash;  // empty when the request goes out unsigned
    Aws::String signingRegion;
};

using PlanOutcome = Aws::Utils::Outcome<RequestPlan, CoreError>;

// "x-amz-checksum-crc64nvme" and the like, and a running checksum of that algorithm.
Aws::String ChecksumHeaderName(Aws::S3::Model::ChecksumAlgorithm algorithm);
std::unique_ptr<Aws::Internal::RunningHash> MakeChecksum(
    Aws::S3::Model::ChecksumAlgorithm algorithm);

// Everything an S3Client and its copies share: configuration, credentials, endpoint rules, the
// connection pool and the clock correction learnt from the service. Safe to use from several
// threads.
class ClientCore {
  public:
    ClientCore(const Aws::Auth::AWSCredentials& credentials,
               std::shared_ptr<Aws::S3::Endpoint::S3EndpointProviderBase> endpointProvider,
               const Aws::S3::S3ClientConfiguration& configuration);

    OperationOutcome Execute(const OperationRequest& request) const;

    // The two halves of an attempt, public so that tests can check the exact request bytes
    // without sending anything.
    PlanOutcome Plan(const OperationRequest& request) const;
    Aws::Internal::HttpRequest SignAttempt(const RequestPlan& plan, const Aws::String& amzDate,
                                           long attempt, long maxAttempts) const;

    const Aws::S3::S3ClientConfiguration& Configuration() const { return m_config; }

    // Endpoint parameters for a bucket, with the configured endpoint applied.
    Aws::S3::Endpoint::S3EndpointParameters EndpointParameters(const Aws::String& bucket) const;
    // The configured endpoint: endpointOverride, else AWS_ENDPOINT_URL_S3, AWS_ENDPOINT_URL,
    // the active profile's s3 service section and its endpoint_url (none of them when
    // AWS_IGNORE_CONFIGURED_ENDPOINT_URLS or the profile's ignore_configured_endpoint_urls is
    // true), completed with the configured scheme when it has none.
    static Aws::String ConfiguredEndpoint(const Aws::Client::ClientConfiguration& config);

    // Milliseconds to add to the local clock when signing; learnt from a service that refused
    // a request as signed at the wrong time.
    long long ClockSkewMs() const { return m_clockSkewMs.load(); }

  private:
    // When the configuration asks for something this client does not do, the message that
    // fails every operation; empty otherwise.
    static Aws::String UnsupportedSetting(const Aws::Client::ClientConfiguration& config);
    // After a failed attempt: whether the service's clock differs from the signing time so much
    // that the signature was refused for it. Then the correction is stored and the error
    // becomes retryable at once.
    bool AdjustClockSkew(CoreError& error, long long signedAtMs) const;

    Aws::S3::S3ClientConfiguration m_config;
    Aws::Auth::AWSCredentials m_credentials;
    std::shared_ptr<Aws::S3::Endpoint::S3EndpointProviderBase> m_endpointProvider;
    Aws::String m_endpoint;
    Aws::String m_userAgent;
    Aws::String m_unsupportedSetting;
    Aws::Internal::CurlHttpClient m_http;
    mutable std::atomic<long long> m_clockSkewMs{0};
};
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
