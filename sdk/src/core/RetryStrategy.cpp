#include <aws/core/client/DefaultRetryStrategy.h>
#include <aws/core/client/RetryStrategy.h>

#include <algorithm>
#include <random>

namespace Aws {
namespace Client {
namespace {
constexpr int kInitialRetryTokens = 500;
constexpr int kRetryCost = 5;
constexpr int kTimeoutRetryCost = 10;
constexpr int kNoRetryIncrement = 1;
constexpr long kMaxBackoffMs = 20000;

int CostOf(const AWSError<CoreErrors>& error) {
    return error.GetErrorType() == CoreErrors::REQUEST_TIMEOUT ? kTimeoutRetryCost : kRetryCost;
}
}  // namespace

bool DefaultRetryStrategy::ShouldRetry(const AWSError<CoreErrors>& error,
                                       long attemptedRetries) const {
    return attemptedRetries < m_maxRetries && error.ShouldRetry();
}

long DefaultRetryStrategy::CalculateDelayBeforeNextRetry(const AWSError<CoreErrors>& /*error*/,
                                                         long attemptedRetries) const {
    if (attemptedRetries == 0) return 0;
    return (1L << std::min(attemptedRetries, 30L)) * m_scaleFactor;
}

DefaultRetryQuotaContainer::DefaultRetryQuotaContainer() : m_retryQuota(kInitialRetryTokens) {}

bool DefaultRetryQuotaContainer::AcquireRetryQuota(int capacityAmount) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (capacityAmount > m_retryQuota) return false;
    m_retryQuota -= capacityAmount;
    return true;
}

bool DefaultRetryQuotaContainer::AcquireRetryQuota(const AWSError<CoreErrors>& error) {
    return AcquireRetryQuota(CostOf(error));
}

void DefaultRetryQuotaContainer::ReleaseRetryQuota(int capacityAmount) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_retryQuota = std::min(m_retryQuota + capacityAmount, kInitialRetryTokens);
}

void DefaultRetryQuotaContainer::ReleaseRetryQuota(const AWSError<CoreErrors>& lastError) {
    ReleaseRetryQuota(CostOf(lastError));
}

int DefaultRetryQuotaContainer::GetRetryQuota() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_retryQuota;
}

StandardRetryStrategy::StandardRetryStrategy(long maxAttempts)
    : m_retryQuotaContainer(std::make_shared<DefaultRetryQuotaContainer>()),
      m_maxAttempts(maxAttempts) {}

StandardRetryStrategy::StandardRetryStrategy(
    std::shared_ptr<RetryQuotaContainer> retryQuotaContainer, long maxAttempts)
    : m_retryQuotaContainer(std::move(retryQuotaContainer)), m_maxAttempts(maxAttempts) {}

bool StandardRetryStrategy::ShouldRetry(const AWSError<CoreErrors>& error,
                                        long attemptedRetries) const {
    if (!error.ShouldRetry()) return false;
    if (attemptedRetries + 1 >= m_maxAttempts) return false;
    return m_retryQuotaContainer->AcquireRetryQuota(error);
}

long StandardRetryStrategy::CalculateDelayBeforeNextRetry(const AWSError<CoreErrors>& /*error*/,
                                                          long attemptedRetries) const {
    std::random_device random;
    long jitter = static_cast<long>(random() % 1000);
    return std::min(jitter * (1L << std::min(attemptedRetries, 20L)), kMaxBackoffMs);
}

void StandardRetryStrategy::RequestBookkeeping(const AWSError<CoreErrors>* lastError) {
    if (lastError) {
        m_retryQuotaContainer->ReleaseRetryQuota(*lastError);
    } else {
        m_retryQuotaContainer->ReleaseRetryQuota(kNoRetryIncrement);
    }
}
}  // namespace Client
}  // namespace Aws
