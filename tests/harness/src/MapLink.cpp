#include "testhost/MapLink.h"

namespace testhost {

void MapLink::Set(const std::wstring& key, const std::wstring& value) { values_[key] = value; }

void MapLink::Unset(const std::wstring& key) { values_.erase(key); }

bool MapLink::GetValue(const wchar_t* key, std::wstring& value) {
    const std::wstring name = key ? key : L"";
    asked_.push_back(name);
    const auto found = values_.find(name);
    if (found == values_.end()) {
        value.clear();
        return false;
    }
    value = found->second;
    return true;
}

}  // namespace testhost
