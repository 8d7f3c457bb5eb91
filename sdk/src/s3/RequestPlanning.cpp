// Turning an operation into the request that goes on the wire: the endpoint and path, the
// query, the headers, the body's length, and where the payload hash and the checksum go.
#include <aws/core/utils/StringUtils.h>

#include "core/Crypto.h"
#include "core/Encoding.h"
#include "s3/ClientCore.h"
#include "s3/EndpointUtils.h"

#include <openssl/rand.h>

#include <chrono>

namespace Aws {
namespace S3 {
namespace Internal {
using Aws::Client::AWSAuthV4Signer;
using Aws::Client::CoreErrors;
using Aws::Http::HttpMethod;
using Aws::Internal::HashKind;
using Aws::S3::Model::ChecksumAlgorithm;
using Aws::Utils::StringUtils;

namespace {
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
}  // namespace

Aws::String ChecksumHeaderName(ChecksumAlgorithm algorithm) {
    return "x-amz-checksum-" +
           StringUtils::ToLower(
               Aws::S3::Model::ChecksumAlgorithmMapper::GetNameForChecksumAlgorithm(algorithm)
                   .c_str());
}

std::unique_ptr<Aws::Internal::RunningHash> MakeChecksum(ChecksumAlgorithm algorithm) {
    return Aws::Internal::MakeHash(HashKindFor(algorithm));
}

PlanOutcome ClientCore::Plan(const OperationRequest& request) const {
    if (!m_unsupportedSetting.empty()) {
        return ClientError(CoreErrors::INVALID_PARAMETER_COMBINATION,
                           "INVALID_PARAMETER_COMBINATION",
                           "Unsupported client configuration: " + m_unsupportedSetting);
    }
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

    // The payload hash and the checksum. Every body is in memory before it is sent, so both
    // are computed in one pass over it here and travel as headers: the checksum never goes in
    // an aws-chunked trailer, which services that do not know that framing either refuse or,
    // worse, store as part of the object. Over plain HTTP the payload is hashed and signed
    // whatever the policy; over TLS with signing off it is UNSIGNED-PAYLOAD.
    const bool https = url.scheme == "https";
    const bool signRequest =
        !m_credentials.GetAWSAccessKeyId().empty() && !m_credentials.GetAWSSecretKey().empty();
    const bool signBody =
        signRequest &&
        (m_config.payloadSigningPolicy != AWSAuthV4Signer::PayloadSigningPolicy::Never || !https);
    const bool checksum = request.checksum != ChecksumAlgorithm::NOT_SET;

    std::unique_ptr<Aws::Internal::RunningHash> sha;
    if (signBody) sha = Aws::Internal::MakeHash(HashKind::SHA256);
    std::unique_ptr<Aws::Internal::RunningHash> crc;
    if (checksum) crc = MakeChecksum(request.checksum);
    if (request.body && (sha || crc)) {
        Aws::Internal::HashStream(*request.body, bodyLength, sha.get(), crc.get());
    }
    if (signBody) {
        plan.payloadHash =
            request.body ? Aws::Internal::HexEncode(sha->Finish()) : Aws::String(kEmptyPayloadHash);
    } else if (signRequest) {
        plan.payloadHash = "UNSIGNED-PAYLOAD";
    }
    if (crc) {
        headers[ChecksumHeaderName(request.checksum)] = Aws::Internal::Base64Encode(crc->Finish());
        headers["x-amz-sdk-checksum-algorithm"] =
            Aws::S3::Model::ChecksumAlgorithmMapper::GetNameForChecksumAlgorithm(request.checksum);
    }
    return plan;
}
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
