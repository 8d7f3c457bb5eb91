#pragma once

#include <memory>
#include <utility>

namespace Aws {
// The allocation tag only serves memory tracing in a custom memory system, which is not used.
template <typename T, typename... Args>
T* New(const char* /*allocationTag*/, Args&&... args) {
    return new T(std::forward<Args>(args)...);
}

template <typename T>
void Delete(T* pointer) {
    delete pointer;
}

template <typename T, typename... Args>
std::shared_ptr<T> MakeShared(const char* /*allocationTag*/, Args&&... args) {
    return std::make_shared<T>(std::forward<Args>(args)...);
}

template <typename T>
using UniquePtr = std::unique_ptr<T>;

template <typename T, typename... Args>
UniquePtr<T> MakeUnique(const char* /*allocationTag*/, Args&&... args) {
    return std::make_unique<T>(std::forward<Args>(args)...);
}
}  // namespace Aws
