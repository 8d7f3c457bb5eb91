#pragma once

#include <aws/core/Core_EXPORTS.h>
#include <aws/core/utils/DateTime.h>
#include <aws/core/utils/memory/stl/AWSString.h>

#include <chrono>

namespace Aws {
namespace Auth {
// Static credentials. The secret never leaves this object except to compute signatures.
class AWS_CORE_API AWSCredentials {
  public:
    AWSCredentials() : m_expiration((std::chrono::time_point<std::chrono::system_clock>::max)()) {}

    AWSCredentials(const Aws::String& awsAccessKeyId, const Aws::String& awsSecretKey)
        : m_accessKeyId(awsAccessKeyId),
          m_secretKey(awsSecretKey),
          m_expiration((std::chrono::time_point<std::chrono::system_clock>::max)()) {}

    AWSCredentials(const Aws::String& awsAccessKeyId, const Aws::String& awsSecretKey,
                   const Aws::String& sessionToken)
        : m_accessKeyId(awsAccessKeyId),
          m_secretKey(awsSecretKey),
          m_sessionToken(sessionToken),
          m_expiration((std::chrono::time_point<std::chrono::system_clock>::max)()) {}

    AWSCredentials(const Aws::String& awsAccessKeyId, const Aws::String& awsSecretKey,
                   const Aws::String& sessionToken, Aws::Utils::DateTime expiration)
        : m_accessKeyId(awsAccessKeyId),
          m_secretKey(awsSecretKey),
          m_sessionToken(sessionToken),
          m_expiration(expiration) {}

    AWSCredentials(const Aws::String& awsAccessKeyId, const Aws::String& awsSecretKey,
                   const Aws::String& sessionToken, Aws::Utils::DateTime expiration,
                   const Aws::String& accountId)
        : m_accessKeyId(awsAccessKeyId),
          m_secretKey(awsSecretKey),
          m_sessionToken(sessionToken),
          m_expiration(expiration),
          m_accountId(accountId) {}

    bool operator==(const AWSCredentials& other) const {
        return m_accessKeyId == other.m_accessKeyId && m_secretKey == other.m_secretKey &&
               m_sessionToken == other.m_sessionToken && m_expiration == other.m_expiration;
    }
    bool operator!=(const AWSCredentials& other) const { return !(other == *this); }

    inline bool IsEmpty() const { return m_accessKeyId.empty() && m_secretKey.empty(); }
    inline bool IsExpired() const { return m_expiration <= Aws::Utils::DateTime::Now(); }
    inline bool ExpiresSoon(int64_t millis = 5000) const {
        return (m_expiration - std::chrono::milliseconds(millis)) <= Aws::Utils::DateTime::Now();
    }
    inline bool IsExpiredOrEmpty() const { return IsEmpty() || IsExpired(); }

    inline const Aws::String& GetAWSAccessKeyId() const { return m_accessKeyId; }
    inline const Aws::String& GetAWSSecretKey() const { return m_secretKey; }
    inline const Aws::String& GetSessionToken() const { return m_sessionToken; }
    inline Aws::Utils::DateTime GetExpiration() const { return m_expiration; }
    inline const Aws::String& GetAccountId() const { return m_accountId; }

    inline void SetAWSAccessKeyId(const Aws::String& accessKeyId) { m_accessKeyId = accessKeyId; }
    inline void SetAWSSecretKey(const Aws::String& secretKey) { m_secretKey = secretKey; }
    inline void SetSessionToken(const Aws::String& sessionToken) { m_sessionToken = sessionToken; }
    inline void SetExpiration(Aws::Utils::DateTime expiration) { m_expiration = expiration; }
    inline void SetAccountId(const Aws::String& accountId) { m_accountId = accountId; }

  private:
    Aws::String m_accessKeyId;
    Aws::String m_secretKey;
    Aws::String m_sessionToken;
    Aws::Utils::DateTime m_expiration;
    Aws::String m_accountId;
};
}  // namespace Auth
}  // namespace Aws
