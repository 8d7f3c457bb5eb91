// The client's shared state: what it takes from the configuration when it is built.
#include "s3/ClientCore.h"

#include <aws/core/client/ClientConfiguration.h>
#include <aws/core/client/DefaultRetryStrategy.h>
#include <aws/core/client/RetryStrategy.h>
#include <aws/core/utils/StringUtils.h>

#include "core/ConfigFile.h"

namespace Aws {
namespace S3 {
namespace Internal {
using Aws::Utils::StringUtils;

namespace {
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
    settings.http10 = c.version == Aws::Http::Version::HTTP_VERSION_1_0;
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

bool IsTrue(const Aws::String& text) {
    return StringUtils::ToLower(StringUtils::Trim(text.c_str()).c_str()) == "true";
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
      m_unsupportedSetting(UnsupportedSetting(configuration)),
      m_http(TransferSettingsFor(configuration)) {
    if (!m_config.retryStrategy) {
        m_config.retryStrategy = std::make_shared<Aws::Client::DefaultRetryStrategy>();
    }
}

Aws::String ClientCore::UnsupportedSetting(const Aws::Client::ClientConfiguration& config) {
    using Aws::Http::Version;
    // The default version means "HTTP/2 where TLS negotiates it"; this client speaks HTTP/1.1
    // and asks for nothing else, so the default is honoured by HTTP/1.1. Only an explicit
    // demand for HTTP/2 or later is refused.
    switch (config.version) {
        case Version::HTTP_VERSION_NONE:
        case Version::HTTP_VERSION_1_0:
        case Version::HTTP_VERSION_1_1:
        case Version::HTTP_VERSION_2TLS:
            break;
        default:
            return "HTTP/2 and later are not supported; use HTTP/1.1";
    }
    if (config.allowSystemProxy) {
        return "the system proxy (allowSystemProxy) is not supported; set proxyHost instead";
    }
    if (config.followRedirects == Aws::Client::FollowRedirectsPolicy::ALWAYS) {
        return "following redirects is not supported: a redirect would carry the signed "
               "request to a host nobody configured";
    }
    if (config.httpLibOverride != Aws::Http::TransferLibType::DEFAULT_CLIENT &&
        config.httpLibOverride != Aws::Http::TransferLibType::CURL_CLIENT) {
        return "only the libcurl HTTP client is available";
    }
    return {};
}

Aws::String ClientCore::ConfiguredEndpoint(const Aws::Client::ClientConfiguration& config) {
    Aws::String endpoint = config.endpointOverride;
    if (endpoint.empty()) {
        const Aws::String profile =
            config.profileName.empty() ? Aws::Internal::GetConfigProfileName() : config.profileName;
        Aws::String ignore = Aws::Internal::GetEnv("AWS_IGNORE_CONFIGURED_ENDPOINT_URLS");
        if (ignore.empty()) {
            ignore = Aws::Internal::GetProfileProperty(profile, "ignore_configured_endpoint_urls");
        }
        if (!IsTrue(ignore)) {
            endpoint = Aws::Internal::GetEnv("AWS_ENDPOINT_URL_S3");
            if (endpoint.empty()) endpoint = Aws::Internal::GetEnv("AWS_ENDPOINT_URL");
            if (endpoint.empty()) {
                endpoint = Aws::Internal::GetServiceProperty(profile, "s3", "endpoint_url");
            }
            if (endpoint.empty()) {
                endpoint = Aws::Internal::GetProfileProperty(profile, "endpoint_url");
            }
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
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
