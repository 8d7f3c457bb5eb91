#pragma once

#include <memory>

namespace Aws {
// Without custom memory management the SDK's allocator is the standard one.
template <typename T>
using Allocator = std::allocator<T>;
}  // namespace Aws
