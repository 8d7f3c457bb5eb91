// A host configuration object backed by a map; remembers which keys were asked for.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/HostInterfaces.h"

namespace testhost {

class MapLink final : public ILink {
  public:
    MapLink() = default;
    ~MapLink() = default;
    MapLink(const MapLink&) = delete;
    MapLink& operator=(const MapLink&) = delete;

    // Keys never Set are unknown: GetValue returns false for them and leaves the value empty.
    void Set(const std::wstring& key, const std::wstring& value);
    void Unset(const std::wstring& key);

    bool GetValue(const wchar_t* key, std::wstring& value) override;

    // Every key asked for, in order, repeats included.
    const std::vector<std::wstring>& Asked() const { return asked_; }
    void ClearAsked() { asked_.clear(); }

  private:
    std::map<std::wstring, std::wstring> values_;
    std::vector<std::wstring> asked_;
};

}  // namespace testhost
