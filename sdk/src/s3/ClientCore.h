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

// One operation as the client sends it, independent of the model class it came from.
struct OperationRequest {
    const char* name = "";
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
    bool checksumAlgorithmSetByCaller = false;
    bool validateResponseChecksum = false;
    // GetObject: the body is the object's content. Every other answer is an XML document or
    // nothing, and a 2xx whose document is <Error> failed.
    bool bodyIsContent = false;
    Aws::IOStreamFactory responseStreamFactory;
};

struct OperationResponse {
    Aws::Http::HttpResponseCode responseCode = Aws::Http::HttpResponseCode::REQUEST_NOT_MADE;
    Aws::Http::HeaderValueCollection headers;
    std::unique_ptr<Aws::IOStream> body;
    Aws::String remoteIp;

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

// Everything an S3Client and its copies share: configuration, credentials, endpoint rules and
// the connection pool. Immutable after construction, so safe to use from several threads.
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
    // The configured endpoint: endpointOverride, else AWS_ENDPOINT_URL_S3, else
    // AWS_ENDPOINT_URL (unless AWS_IGNORE_CONFIGURED_ENDPOINT_URLS is true), completed with the
    // configured scheme when it has none.
    static Aws::String ConfiguredEndpoint(const Aws::Client::ClientConfiguration& config);

  private:
    Aws::S3::S3ClientConfiguration m_config;
    Aws::Auth::AWSCredentials m_credentials;
    std::shared_ptr<Aws::S3::Endpoint::S3EndpointProviderBase> m_endpointProvider;
    Aws::String m_endpoint;
    Aws::String m_userAgent;
    Aws::Internal::CurlHttpClient m_http;
};
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
