#pragma once

#include <aws/core/Core_EXPORTS.h>
#include <aws/core/client/AWSError.h>
#include <aws/core/client/CoreErrors.h>

#include <memory>
#include <mutex>

namespace Aws {
namespace Client {
// Decides whether a failed attempt is tried again and after how long. One instance may be shared
// by several clients and threads, so implementations must be thread-safe.
class AWS_CORE_API RetryStrategy {
  public:
    virtual ~RetryStrategy() = default;

    // attemptedRetries counts the retries made so far (0 after the first attempt failed).
    virtual bool ShouldRetry(const AWSError<CoreErrors>& error, long attemptedRetries) const = 0;
    virtual long CalculateDelayBeforeNextRetry(const AWSError<CoreErrors>& error,
                                               long attemptedRetries) const = 0;
    virtual bool HasSendToken() { return true; }
    virtual void GetSendToken() {}
    // Called when an attempt succeeded; lastError is the failure of the attempt before it, or
    // null when the first attempt succeeded.
    virtual void RequestBookkeeping(const AWSError<CoreErrors>* lastError) { (void)lastError; }
    virtual long GetMaxAttempts() const { return 0; }
    virtual const char* GetStrategyName() const = 0;
};

// Token bucket that limits retries when many requests keep failing (standard mode).
class AWS_CORE_API RetryQuotaContainer {
  public:
    virtual ~RetryQuotaContainer() = default;
    virtual bool AcquireRetryQuota(int capacityAmount) = 0;
    virtual bool AcquireRetryQuota(const AWSError<CoreErrors>& error) = 0;
    virtual void ReleaseRetryQuota(int capacityAmount) = 0;
    virtual void ReleaseRetryQuota(const AWSError<CoreErrors>& lastError) = 0;
    virtual int GetRetryQuota() const = 0;
};

class AWS_CORE_API DefaultRetryQuotaContainer : public RetryQuotaContainer {
  public:
    DefaultRetryQuotaContainer();
    bool AcquireRetryQuota(int capacityAmount) override;
    bool AcquireRetryQuota(const AWSError<CoreErrors>& error) override;
    void ReleaseRetryQuota(int capacityAmount) override;
    void ReleaseRetryQuota(const AWSError<CoreErrors>& lastError) override;
    int GetRetryQuota() const override;

  private:
    mutable std::mutex m_mutex;
    int m_retryQuota;
};

// "standard" mode: maxAttempts attempts in all (default 3), random exponential delay capped at
// 20 s, and a shared retry quota.
class AWS_CORE_API StandardRetryStrategy : public RetryStrategy {
  public:
    StandardRetryStrategy(long maxAttempts = 3);  // NOLINT
    StandardRetryStrategy(std::shared_ptr<RetryQuotaContainer> retryQuotaContainer,
                          long maxAttempts = 3);

    bool ShouldRetry(const AWSError<CoreErrors>& error, long attemptedRetries) const override;
    long CalculateDelayBeforeNextRetry(const AWSError<CoreErrors>& error,
                                       long attemptedRetries) const override;
    void RequestBookkeeping(const AWSError<CoreErrors>* lastError) override;
    long GetMaxAttempts() const override { return m_maxAttempts; }
    const char* GetStrategyName() const override { return "standard"; }

  private:
    std::shared_ptr<RetryQuotaContainer> m_retryQuotaContainer;
    long m_maxAttempts;
};
}  // namespace Client
}  // namespace Aws
