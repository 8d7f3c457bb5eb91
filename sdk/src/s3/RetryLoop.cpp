// Sending an operation: one attempt after another until one succeeds, the failure is one that
// another attempt cannot mend, or the retry strategy gives up.
#include <aws/core/client/RetryStrategy.h>
#include <aws/core/utils/DateTime.h>
#include <aws/core/utils/memory/stl/AWSStringStream.h>

#include "core/Crypto.h"
#include "s3/ClientCore.h"
#include "s3/ResponseClassification.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace Aws {
namespace S3 {
namespace Internal {
using Aws::Client::CoreErrors;
using Aws::Http::HttpResponseCode;
using Aws::S3::Model::ChecksumAlgorithm;
using Aws::Utils::DateTime;

namespace {
// A service refuses a signature made this far from its own clock.
constexpr long long kClockSkewLimitMs = 4 * 60 * 1000;

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

bool IsClockSkewError(CoreErrors type) {
    switch (type) {
        case CoreErrors::REQUEST_TIME_TOO_SKEWED:
        case CoreErrors::REQUEST_EXPIRED:
        case CoreErrors::INVALID_SIGNATURE:
        case CoreErrors::SIGNATURE_DOES_NOT_MATCH:
            return true;
        default:
            return false;
    }
}

// The service's time as its answer states it; invalid when the answer names none.
DateTime ServerTime(const CoreError& error) {
    const auto& headers = error.GetResponseHeaders();
    for (const char* name : {"x-amz-date", "date"}) {
        auto it = headers.find(name);
        if (it != headers.end()) return DateTime(it->second, Aws::Utils::DateFormat::AutoDetect);
    }
    return DateTime(Aws::String(), Aws::Utils::DateFormat::AutoDetect);
}
}  // namespace

bool ClientCore::AdjustClockSkew(CoreError& error, long long signedAtMs) const {
    if (!m_config.enableClockSkewAdjustment || !IsClockSkewError(error.GetErrorType())) {
        return false;
    }
    const DateTime serverTime = ServerTime(error);
    if (!serverTime.WasParseSuccessful()) return false;
    if (std::llabs(serverTime.Millis() - signedAtMs) < kClockSkewLimitMs) return false;
    m_clockSkewMs.store(serverTime.Millis() - DateTime::CurrentTimeMillis());
    error.SetRetryableType(Aws::Client::RetryableType::RETRYABLE);
    return true;
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
        const long long signedAtMs = DateTime::CurrentTimeMillis() + m_clockSkewMs.load();
        const Aws::String amzDate = DateTime(static_cast<int64_t>(signedAtMs))
                                        .ToGmtString(Aws::Utils::DateFormat::ISO_8601_BASIC);
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
                    responseHash = MakeChecksum(algorithm);
                    return responseHash.get();
                }
                return nullptr;
            };
        }

        Aws::Internal::HttpResponse response = m_http.Perform(http, *body, onBodyStart);
        Verdict verdict =
            ClassifyResponse(request, response, *body, responseHash.get(), expectedChecksum);

        if (!verdict.failed) {
            strategy.RequestBookkeeping(hadError ? &lastError : nullptr);
            OperationResponse result;
            result.responseCode = static_cast<HttpResponseCode>(response.statusCode);
            result.headers = std::move(response.headers);
            result.remoteIp = std::move(response.remoteIp);
            result.document = std::move(verdict.document);
            if (request.answer == AnswerKind::Content) {
                body->clear();
                body->seekg(0, std::ios_base::beg);
                result.body = std::move(body);
            }
            OperationOutcome outcome(std::move(result));
            outcome.SetRetryCount(static_cast<unsigned>(retries));
            return outcome;
        }

        CoreError error = std::move(verdict.error);
        // A signature refused for the time it was made is retried at once with the service's
        // clock; every other retry waits as the strategy says.
        const bool clockCorrected = AdjustClockSkew(error, signedAtMs);
        if (!strategy.ShouldRetry(error, retries)) {
            OperationOutcome outcome(std::move(error));
            outcome.SetRetryCount(static_cast<unsigned>(retries));
            return outcome;
        }
        const long delayMs =
            clockCorrected ? 0 : strategy.CalculateDelayBeforeNextRetry(error, retries);
        if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        lastError = std::move(error);
        hadError = true;
        ++retries;
    }
}
}  // namespace Internal
}  // namespace S3
}  // namespace Aws
