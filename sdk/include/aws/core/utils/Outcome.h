#pragma once

#include <utility>

namespace Aws {
namespace Utils {
// Either a result or an error. Operations never throw; they return one of these.
template <typename R, typename E>
class Outcome {
  public:
    Outcome() : m_success(false) {}
    Outcome(const R& result) : m_result(result), m_success(true) {}        // NOLINT
    Outcome(const E& error) : m_error(error), m_success(false) {}          // NOLINT
    Outcome(R&& result) : m_result(std::move(result)), m_success(true) {}  // NOLINT
    Outcome(E&& error) : m_error(std::move(error)), m_success(false) {}    // NOLINT

    Outcome(const Outcome&) = default;
    Outcome(Outcome&&) = default;
    Outcome& operator=(const Outcome&) = default;
    Outcome& operator=(Outcome&&) = default;

    inline const R& GetResult() const { return m_result; }
    inline R& GetResult() { return m_result; }
    // Moves the result out; needed where the result owns a stream.
    inline R&& GetResultWithOwnership() { return std::move(m_result); }

    inline const E& GetError() const { return m_error; }
    inline E&& GetErrorWithOwnership() { return std::move(m_error); }

    inline bool IsSuccess() const { return m_success; }

    inline unsigned GetRetryCount() const { return m_retryCount; }
    inline void SetRetryCount(unsigned retryCount) { m_retryCount = retryCount; }

  private:
    R m_result;
    E m_error;
    bool m_success;
    unsigned m_retryCount = 0;
};
}  // namespace Utils
}  // namespace Aws
