#pragma once

#include <aws/core/Core_EXPORTS.h>
#include <aws/core/http/HttpTypes.h>
#include <aws/core/http/Scheme.h>
#include <aws/core/http/Version.h>
#include <aws/core/utils/memory/stl/AWSString.h>
#include <aws/core/utils/memory/stl/AWSVector.h>

#include <memory>

namespace Aws {
namespace Client {
class RetryStrategy;

// How 30x answers are handled. Whatever is chosen, this client never lets libcurl follow a
// redirect: a redirect must not carry the signed request to another host. The 30x answer
// becomes an error outcome.
enum class FollowRedirectsPolicy { DEFAULT, ALWAYS, NEVER };

enum class RequestChecksumCalculation { WHEN_SUPPORTED = 0, WHEN_REQUIRED = 1 };

enum class ResponseChecksumValidation { WHEN_SUPPORTED = 0, WHEN_REQUIRED = 1 };

struct ClientConfigurationInitValues {
    bool shouldDisableIMDS = false;
};

// Settings for a service client. The constructors resolve the region (AWS_DEFAULT_REGION,
// AWS_REGION, the active profile of the shared config file, then "us-east-1"; the instance
// metadata service is never asked), the retry strategy (AWS_RETRY_MODE, AWS_MAX_ATTEMPTS) and
// the CA bundle (AWS_CA_BUNDLE).
struct AWS_CORE_API ClientConfiguration {
    ClientConfiguration();
    ClientConfiguration(const ClientConfigurationInitValues& configuration);  // NOLINT
    ClientConfiguration(const char* profileName, bool shouldDisableIMDS = false);
    explicit ClientConfiguration(bool useSmartDefaults, const char* defaultMode = "legacy",
                                 bool shouldDisableIMDS = false);
    virtual ~ClientConfiguration() = default;

    // Replaces the computed User-Agent entirely when not empty.
    Aws::String userAgent;
    // Only used to complete an endpointOverride that has no "http://" or "https://".
    Aws::Http::Scheme scheme = Aws::Http::Scheme::HTTPS;
    Aws::String region;
    bool useDualStack = false;
    bool useFIPS = false;
    unsigned maxConnections = 25;
    // CURLOPT_TIMEOUT_MS; 0 means no limit on the whole request.
    long httpRequestTimeoutMs = 0;
    // Low-speed time: the transfer fails once it stays below lowSpeedLimit bytes/s this long.
    long requestTimeoutMs = 3000;
    long connectTimeoutMs = 1000;
    bool enableTcpKeepAlive = true;
    unsigned long tcpKeepAliveIntervalMs = 30000;
    unsigned long lowSpeedLimit = 1;
    std::shared_ptr<RetryStrategy> retryStrategy;
    Aws::String endpointOverride;
    bool allowSystemProxy = false;
    Aws::Http::Scheme proxyScheme = Aws::Http::Scheme::HTTP;
    Aws::String proxyHost;
    unsigned proxyPort = 0;
    Aws::String proxyUserName;
    Aws::String proxyPassword;
    bool verifySSL = true;
    Aws::String caPath;
    Aws::String caFile;
    Aws::Http::TransferLibType httpLibOverride = Aws::Http::TransferLibType::DEFAULT_CLIENT;
    FollowRedirectsPolicy followRedirects = FollowRedirectsPolicy::DEFAULT;
    bool disableExpectHeader = false;
    bool enableClockSkewAdjustment = true;
    bool enableHostPrefixInjection = true;
    bool enableHttpClientTrace = false;
    Aws::String profileName;
    bool disableIMDS = false;
    Aws::Http::Version version = Aws::Http::Version::HTTP_VERSION_2TLS;
    bool disableImdsV1 = false;
    Aws::String appId;

    struct {
        RequestChecksumCalculation requestChecksumCalculation =
            RequestChecksumCalculation::WHEN_SUPPORTED;
        ResponseChecksumValidation responseChecksumValidation =
            ResponseChecksumValidation::WHEN_SUPPORTED;
    } checksumConfig;

    // Reads envKey, else profileProperty of the given profile in the shared config file; a value
    // outside allowedValues (when that list is not empty) yields defaultValue.
    static Aws::String LoadConfigFromEnvOrProfile(const Aws::String& envKey,
                                                  const Aws::String& profile,
                                                  const Aws::String& profileProperty,
                                                  const Aws::Vector<Aws::String>& allowedValues,
                                                  const Aws::String& defaultValue);
};

// "standard" gives a StandardRetryStrategy honouring AWS_MAX_ATTEMPTS (or the profile's
// max_attempts); anything else the DefaultRetryStrategy. An empty mode reads AWS_RETRY_MODE,
// then the profile's retry_mode.
AWS_CORE_API std::shared_ptr<RetryStrategy> InitRetryStrategy(Aws::String retryMode = "");

AWS_CORE_API Aws::String ComputeUserAgentString(ClientConfiguration const* const pConfig = nullptr);
}  // namespace Client
}  // namespace Aws
