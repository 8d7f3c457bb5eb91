#pragma once

#include <map>
#include <unordered_map>

namespace Aws {
template <typename K, typename V>
using Map = std::map<K, V>;
template <typename K, typename V>
using UnorderedMap = std::unordered_map<K, V>;
template <typename K, typename V>
using MultiMap = std::multimap<K, V>;
}  // namespace Aws
