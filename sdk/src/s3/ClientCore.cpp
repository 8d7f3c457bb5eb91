#include "s3/ClientCore.h"

#include <aws/core/client/ClientConfiguration.h>
#include <aws/core/client/DefaultRetryStrategy.h>
#include <aws/core/client/RetryStrategy.h>
#include <aws/core/utils/DateTime.h>
#include <aws/core/utils/StringUtils.h>
#include <aws/core/utils/memory/stl/AWSStringStream.h>

#include "core/ConfigFile.h"
#include "core/Crypto.h"
#include "core/Encoding.h"
#include "s3/EndpointUtils.h"
#include "s3/Xml.h"

#include <openssl/rand.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace Aws {
namespace S3 {
namespace Internal {
using Aws::Client::AWSAuthV4Signer;
using Aws::Client::CoreErrors;
using Aws::Http::HttpMethod;
using Aws::Http::HttpResponseCode;
using Aws::Internal::HashKind;
using Aws::S3::Model::ChecksumAlgorithm;
using Aws::Utils::StringUtils;

namespace {
bool EmptyOrXml(Aws::IOStream& body) {
    body.clear();
    body.seekg(0, std::ios_base::beg);
    const bool empty = body.peek() == std::char_traits<char>::eof();
    body.clear();
    body.seekg(0, std::ios_base::beg);
    if (empty) return true;
    Aws::Internal::XmlDocument doc;
    return doc.Parse(body) && doc.Root() != nullptr;
}

const char kEmptyPayloadHash[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

CoreError ClientError(CoreErrors type, const char* name, const Aws::String& message) {
    return CoreError(type, name, message, false);
}

Aws::String RandomUuid() {
    unsigned char bytes[16] = {0};
    if (RAND_bytes(bytes, sizeof(bytes)) != 1) {
        auto seed = static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count());
        for (unsigned char& b : bytes) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            b = static_cast<unsigned char>(seed >> 56);
        }
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    Aws::String hex = Aws::Internal::HexEncode(bytes, sizeof(bytes));
    return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
           hex.substr(16, 4) + "-" + hex.substr(20);
}

HashKind HashKindFor(ChecksumAlgorithm algorithm) {
    switch (algorithm) {
        case ChecksumAlgorithm::CRC32:
            return HashKind::CRC32;
        case ChecksumAlgorithm::CRC32C:
            return HashKind::CRC32C;
        case ChecksumAlgorithm::SHA1:
            return HashKind::SHA1;
        case ChecksumAlgorithm::SHA256:
            return HashKind::SHA256;
        default:
            return HashKind::CRC64NVME;
    }
}

Aws::String ChecksumHeaderName(ChecksumAlgorithm algorithm) {
    return "x-amz-checksum-" +
           StringUtils::ToLower(
               Aws::S3::Model::ChecksumAlgorithmMapper::GetNameForChecksumAlgorithm(algorithm)
                   .c_str());
}

// Response checksums in the order they are looked for; the first one present is checked.
const ChecksumAlgorithm kResponseAlgorithms[] = {
    ChecksumAlgorithm::CRC64NVME, ChecksumAlgorithm::CRC32, ChecksumAlgorithm::CRC32C,
    ChecksumAlgorithm::SHA256, ChecksumAlgorithm::SHA1};

// A multipart upload's composite checksum ("<base64>-<parts>") says nothing about the bytes
// of one GET.
bool IsCompositeChecksum(const Aws::String& value) {
    size_t dash = value.rfind('-');
    if (dash == Aws::String::npos || dash + 1 == value.size()) return false;
    for (size_t i = dash + 1; i < value.size(); ++i) {
        if (value[i] < '0' || value[i] > '9') return false;
    }
    return true;
}

long long StreamLength(Aws::IOStream& stream) {
    stream.clear();
    std::streampos saved = stream.tellg();
    stream.seekg(0, std::ios_base::end);
    std::streampos end = stream.tellg();
    stream.clear();
    stream.seekg(saved == std::streampos(-1) ? std::streampos(0) : saved, std::ios_base::beg);
    return end == std::streampos(-1) ? 0 : static_cast<long long>(end);
}

Aws::String StripDefaultPort(const Aws::Internal::ParsedUrl& url) {
    const Aws::String& authority = url.authority;
    const Aws::String defaultPort = url.scheme == "https" ? ":443" : ":80";
    if (authority.size() > defaultPort.size() &&
        authority.compare(authority.size() - defaultPort.size(), defaultPort.size(), defaultPort) ==
            0) {
        return authority.substr(0, authority.size() - defaultPort.size());
    }
    return authority;
}

Aws::Internal::TransferSettings TransferSettingsFor(const Aws::Client::ClientConfiguration& c) {
    Aws::Internal::TransferSettings settings;
    settings.connectTimeoutMs = c.connectTimeoutMs;
    settings.requestTimeoutMs = c.requestTimeoutMs;
    settings.httpRequestTimeoutMs = c.httpRequestTimeoutMs;
    settings.lowSpeedLimit = c.lowSpeedLimit;
    settings.enableTcpKeepAlive = c.enableTcpKeepAlive;
    settings.tcpKeepAliveIntervalMs = c.tcpKeepAliveIntervalMs;
    settings.verifySSL = c.verifySSL;
    settings.caFile = c.caFile;
    settings.caPath = c.caPath;
    settings.maxConnections = c.maxConnections;
    settings.version = c.version;
    settings.disableExpectHeader = c.disableExpectHeader;
    if (!c.proxyHost.empty()) {
        settings.proxyUrl =
            Aws::String(Aws::Http::SchemeMapper::ToString(c.proxyScheme)) + "://" + c.proxyHost;
        if (c.proxyPort) settings.proxyUrl += ":" + std::to_string(c.proxyPort);
        settings.proxyUserName = c.proxyUserName;
        settings.proxyPassword = c.proxyPassword;
    }
    return settings;
}

Aws::String UserAgentFor(const Aws::S3::S3ClientConfiguration& config) {
    if (!config.userAgent.empty()) return config.userAgent;
    Aws::String ua = Aws::Client::ComputeUserAgentString(&config);
    // "api/S3" goes right after the "ua/2.1" token.
    const Aws::String marker = " ua/2.1";
    size_t at = ua.find(marker);
    if (at != Aws::String::npos) ua.insert(at + marker.size(), " api/S3");
    Aws::String metrics;
    const char* strategy =
        config.retryStrategy ? config.retryStrategy->GetStrategyName() : "default";
    metrics += Aws::String(strategy) == "standard" ? "E" : "D";
    metrics += config.checksumConfig.requestChecksumCalculation ==
                       Aws::Client::RequestChecksumCalculation::WHEN_SUPPORTED
                   ? ",Z"
                   : ",a";
    metrics += config.checksumConfig.responseChecksumValidation ==
                       Aws::Client::ResponseChecksumValidation::WHEN_SUPPORTED
                   ? ",b"
                   : ",c";
    return ua + " m/" + metrics;
}
}  // namespace

ClientCore::ClientCore(const Aws::Auth::AWSCredentials& credentials,
                       std::shared_ptr<Aws::S3::Endpoint::S3EndpointProviderBase> endpointProvider,
                       const Aws::S3::S3ClientConfiguration& configuration)
    : m_config(configuration),
      m_credentials(credentials),
      m_endpointProvider(endpointProvider
                             ? std::move(endpointProvider)
                             : std::make_shared<Aws::S3::Endpoint::S3EndpointProvider>()),
      m_endpoint(ConfiguredEndpoint(configuration)),
      m_userAgent(UserAgentFor(configuration)),
      m_http(TransferSettingsFor(configuration)) {
    if (!m_config.retryStrategy) {
        m_config.retryStrategy = std::make_shared<Aws::Client::DefaultRetryStrategy>();
    }
}

Aws::String ClientCore::ConfiguredEndpoint(const Aws::Client::ClientConfiguration& config) {
    Aws::String endpoint = config.endpointOverride;
    if (endpoint.empty()) {
        Aws::String ignore = StringUtils::ToLower(
            StringUtils::Trim(Aws::Internal::GetEnv("AWS_IGNORE_CONFIGURED_ENDPOINT_URLS").c_str())
                .c_str());
        if (ignore != "true") {
            endpoint = Aws::Internal::GetEnv("AWS_ENDPOINT_URL_S3");
            if (endpoint.empty()) endpoint = Aws::Internal::GetEnv("AWS_ENDPOINT_URL");
        }
    }
    endpoint = StringUtils::Trim(endpoint.c_str());
    if (endpoint.empty()) return endpoint;
    if (endpoint.compare(0, 7, "http://") != 0 && endpoint.compare(0, 8, "https://") != 0) {
        endpoint = Aws::String(Aws::Http::SchemeMapper::ToString(config.scheme)) + "://" + endpoint;
    }
    return endpoint;
}

Aws::S3::Endpoint::S3EndpointParameters ClientCore::EndpointParameters(
    const Aws::String& bucket) const {
    Aws::S3::Endpoint::S3EndpointParameters parameters;
    parameters.region = m_config.region;
    parameters.endpoint = m_endpoint;
    if (!parameters.endpoint.empty() && parameters.region.empty()) {
        parameters.region = "region-not-set";
    }
    parameters.bucket = bucket;
    parameters.forcePathStyle = !m_config.useVirtualAddressing;
    parameters.useGlobalEndpoint = m_config.useUSEast1RegionalEndPointOption ==
                                   Aws::S3::US_EAST_1_REGIONAL_ENDPOINT_OPTION::LEGACY;
    parameters.useFIPS = m_config.useFIPS;
    parameters.useDualStack = m_config.useDualStack;
    return parameters;
}

PlanOutcome ClientCore::Plan(const OperationRequest& request) const {
    auto resolved = m_endpointProvider->ResolveEndpoint(EndpointParameters(request.bucket));
    if (!resolved.IsSuccess()) {
        return ClientError(CoreErrors::ENDPOINT_RESOLUTION_FAILURE, "ENDPOINT_RESOLUTION_FAILURE",
                           resolved.errorMessage);
    }
    Aws::Internal::ParsedUrl url;
    if (!Aws::Internal::ParseEndpointUrl(resolved.url, url)) {
        return ClientError(CoreErrors::ENDPOINT_RESOLUTION_FAILURE, "ENDPOINT_RESOLUTION_FAILURE",
                           "Resolved endpoint `" + resolved.url + "` is not a valid URI");
    }
    if (!Aws::Internal::IsIpLiteral(url.host) && !Aws::Internal::IsValidHostLabel(url.host, true)) {
        return ClientError(CoreErrors::VALIDATION, "", "Invalid DNS Label found in URI host");
    }

    RequestPlan plan;
    plan.signingRegion = resolved.signingRegion;

    // Path: the endpoint's own path (with a path-style bucket), then the key.
    Aws::String base = url.path;
    Aws::String wirePath;
    if (!request.key.empty()) {
        if (!base.empty() && base.back() == '/') base.pop_back();
        wirePath = base + "/" + Aws::Internal::EncodeKeyPath(request.key, true);
        plan.canonicalPath = base + "/" + Aws::Internal::EncodeKeyPath(request.key, false);
    } else {
        wirePath = base.empty() ? "/" : base;
        plan.canonicalPath = wirePath;
    }

    Aws::String query;
    for (const auto& parameter : request.query) {
        query += query.empty() ? "?" : "&";
        query += Aws::Internal::EncodeStrict(parameter.name);
        if (!parameter.bare) query += "=" + Aws::Internal::EncodeStrict(parameter.value);
        plan.signingQuery.emplace_back(parameter.name, parameter.value);
    }

    auto& http = plan.http;
    http.method = request.method;
    http.url = url.scheme + "://" + url.authority + wirePath + query;
    auto& headers = http.headers;
    headers = request.headers;
    headers["host"] = StripDefaultPort(url);
    headers["amz-sdk-invocation-id"] = RandomUuid();
    headers["user-agent"] = m_userAgent;
    if (request.streaming) {
        headers["content-type"] =
            request.contentType.empty() ? "binary/octet-stream" : request.contentType;
    } else {
        headers["content-type"] =
            request.contentType.empty() ? "application/xml" : request.contentType;
        headers["x-amz-api-version"] = "2006-03-01";
    }
    if (!m_credentials.GetSessionToken().empty()) {
        headers["x-amz-security-token"] = m_credentials.GetSessionToken();
    }

    long long bodyLength = 0;
    if (request.body) {
        long long available = StreamLength(*request.body);
        bodyLength = request.contentLengthSet ? request.contentLength : available;
        if (bodyLength > available || bodyLength < 0) {
            return ClientError(CoreErrors::INVALID_PARAMETER_VALUE, "INVALID_PARAMETER_VALUE",
                               "The body stream is shorter than the request's content length");
        }
        http.body.stream = request.body.get();
        http.body.length = bodyLength;
        headers["content-length"] = std::to_string(bodyLength);
    } else if (request.method == HttpMethod::HTTP_POST || request.method == HttpMethod::HTTP_PUT) {
        headers["content-length"] = "0";
    }

    const bool https = url.scheme == "https";
    const bool signRequest =
        !m_credentials.GetAWSAccessKeyId().empty() && !m_credentials.GetAWSSecretKey().empty();
    const auto policy = m_config.payloadSigningPolicy;
    const bool signBody = policy != AWSAuthV4Signer::PayloadSigningPolicy::Never;
    const bool checksum = request.checksum != ChecksumAlgorithm::NOT_SET;
    if (checksum && request.checksumAlgorithmSetByCaller) {
        headers["x-amz-sdk-checksum-algorithm"] =
            Aws::S3::Model::ChecksumAlgorithmMapper::GetNameForChecksumAlgorithm(request.checksum);
    }
    const Aws::String checksumHeader = checksum ? ChecksumHeaderName(request.checksum) : "";

    if (signRequest && https && !signBody && checksum && request.body) {
        // Unsigned payload over TLS: the checksum travels in an aws-chunked trailer, computed
        // while the body is sent. The framed body goes out with its own Content-Length rather
        // than with HTTP chunked transfer on top of the aws-chunked framing: the service and
        // the test server both accept it, and it avoids framing the body twice.
        plan.payloadHash = "STREAMING-UNSIGNED-PAYLOAD-TRAILER";
        http.body.awsChunked = true;
        http.body.trailerHash = HashKindFor(request.checksum);
        http.body.trailerName = checksumHeader;
        size_t digestLength = Aws::Internal::MakeHash(http.body.trailerHash)->Finish().size();
        size_t trailerLine = checksumHeader.size() + 1 +
                             Aws::Internal::Base64Encode(Aws::String(digestLength, '\0')).size();
        headers["content-encoding"] = headers.count("content-encoding")
                                          ? "aws-chunked," + headers["content-encoding"]
                                          : "aws-chunked";
        headers["x-amz-decoded-content-length"] = std::to_string(bodyLength);
        headers["x-amz-trailer"] = checksumHeader;
        headers["content-length"] =
            std::to_string(Aws::Internal::AwsChunkedLength(bodyLength, trailerLine));
    } else if (signRequest && (signBody || !https)) {
        // Over plain HTTP the payload is always hashed and signed, whatever the policy.
        auto sha = Aws::Internal::MakeHash(HashKind::SHA256);
        std::unique_ptr<Aws::Internal::RunningHash> crc;
        if (checksum) crc = Aws::Internal::MakeHash(HashKindFor(request.checksum));
        if (request.body) {
            Aws::Internal::HashStream(*request.body, bodyLength, sha.get(), crc.get());
            plan.payloadHash = Aws::Internal::HexEncode(sha->Finish());
        } else {
            plan.payloadHash = kEmptyPayloadHash;
        }
        if (crc) headers[checksumHeader] = Aws::Internal::Base64Encode(crc->Finish());
    } else {
        if (signRequest) plan.payloadHash = "UNSIGNED-PAYLOAD";
        if (checksum) {
            auto crc = Aws::Internal::MakeHash(HashKindFor(request.checksum));
            if (request.body)
                Aws::Internal::HashStream(*request.body, bodyLength, crc.get(), nullptr);
            headers[checksumHeader] = Aws::Internal::Base64Encode(crc->Finish());
        }
    }
    return plan;
}

Aws::Internal::HttpRequest ClientCore::SignAttempt(const RequestPlan& plan,
                                                   const Aws::String& amzDate, long attempt,
                                                   long maxAttempts) const {
    Aws::Internal::HttpRequest http = plan.http;
    http.headers["amz-sdk-request"] = attempt <= 1 ? Aws::String("attempt=1")
                                                   : "attempt=" + std::to_string(attempt) +
                                                         "; max=" + std::to_string(maxAttempts);
    if (plan.payloadHash.empty()) return http;  // no credentials: sent unsigned

    http.headers["x-amz-content-sha256"] = plan.payloadHash;
    http.headers["x-amz-date"] = amzDate;
    Aws::Internal::SigningInput input;
    input.method = Aws::Http::HttpMethodMapper::GetNameForHttpMethod(http.method);
    input.canonicalPath = plan.canonicalPath;
    input.query = plan.signingQuery;
    input.headers = http.headers;
    input.payloadHash = plan.payloadHash;
    http.headers["authorization"] = Aws::Internal::ComputeAuthorization(
        input, m_credentials, plan.signingRegion, "s3", amzDate);
    return http;
}

OperationOutcome ClientCore::Execute(const OperationRequest& request) const {
    PlanOutcome planned = Plan(request);
    if (!planned.IsSuccess()) return planned.GetError();
    const RequestPlan& plan = planned.GetResult();

    Aws::Client::RetryStrategy& strategy = *m_config.retryStrategy;
    const long maxAttempts = strategy.GetMaxAttempts();
    long retries = 0;
    CoreError lastError;
    bool hadError = false;

    while (true) {
        const Aws::String amzDate =
            Aws::Utils::DateTime::Now().ToGmtString(Aws::Utils::DateFormat::ISO_8601_BASIC);
        Aws::Internal::HttpRequest http = SignAttempt(plan, amzDate, retries + 1, maxAttempts);

        std::unique_ptr<Aws::IOStream> body;
        if (request.responseStreamFactory) body.reset(request.responseStreamFactory());
        if (!body) body = std::make_unique<Aws::StringStream>();

        // The response checksum is chosen once the headers are in: the first algorithm whose
        // header is present, unless it is a multipart composite.
        std::unique_ptr<Aws::Internal::RunningHash> responseHash;
        Aws::String expectedChecksum;
        Aws::Internal::BodyStartCallback onBodyStart;
        if (request.validateResponseChecksum) {
            onBodyStart =
                [&](const Aws::Internal::HttpResponse& partial) -> Aws::Internal::RunningHash* {
                if (partial.statusCode < 200 || partial.statusCode > 299) return nullptr;
                for (ChecksumAlgorithm algorithm : kResponseAlgorithms) {
                    auto it = partial.headers.find(ChecksumHeaderName(algorithm));
                    if (it == partial.headers.end()) continue;
                    if (IsCompositeChecksum(it->second)) return nullptr;
                    expectedChecksum = it->second;
                    responseHash = Aws::Internal::MakeHash(HashKindFor(algorithm));
                    return responseHash.get();
                }
                return nullptr;
            };
        }

        Aws::Internal::HttpResponse response = m_http.Perform(http, *body, onBodyStart);
        const bool answersInXml = !request.bodyIsContent;

        CoreError error;
        bool failed = true;
        if (response.curlCode != 0) {
            error = Aws::Internal::BuildTransportError(response);
        } else if (response.bodyLengthMismatch) {
            error =
                CoreError(CoreErrors::NETWORK_CONNECTION, "",
                          "Response body length doesn't match the content-length header.", true);
            Aws::Internal::AttachResponse(error, response);
        } else if (response.statusCode < 200 || response.statusCode > 299) {
            error = Aws::Internal::BuildHttpError(response, *body);
        } else if (answersInXml && Aws::Internal::FindEmbeddedError(*body, error)) {
            // The service reported a failure inside a 200 answer.
        } else if (answersInXml && !EmptyOrXml(*body)) {
            // A result that does not parse would read as an empty one: an empty listing.
            error = CoreError(CoreErrors::UNKNOWN, "Xml Parse Error",
                              "The body of the response is not an XML document", false);
            Aws::Internal::AttachResponse(error, response);
        } else if (responseHash &&
                   Aws::Internal::Base64Encode(responseHash->Finish()) != expectedChecksum) {
            error = CoreError(CoreErrors::VALIDATION, "", "Response checksums mismatch", false);
            Aws::Internal::AttachResponse(error, response);
        } else {
            failed = false;
        }

        if (!failed) {
            strategy.RequestBookkeeping(hadError ? &lastError : nullptr);
            OperationResponse result;
            result.responseCode = static_cast<HttpResponseCode>(response.statusCode);
            result.headers = std::move(response.headers);
            result.remoteIp = std::move(response.remoteIp);
            body->clear();
            body->seekg(0, std::ios_base::beg);
            result.body = std::move(body);
            OperationOutcome outcome(std::move(result));
            outcome.SetRetryCount(static_cast<unsigned>(retries));
            return outcome;
        }

        if (!strategy.ShouldRetry(error, retries)) {
            OperationOutcome outcome(std::move(error));
            outcome.SetRetryCount(static_cast<unsigned>(retries));
            return outcome;
        }
        long delayMs = strategy.CalculateDelayBeforeNextRetry(error, retries);
        if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        lastError = std::move(error);
        hadError = true;
        ++retries;
    }
}
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
