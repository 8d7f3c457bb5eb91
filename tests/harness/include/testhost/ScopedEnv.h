// Sets or unsets one environment variable for the life of the object.
#pragma once

#include <optional>
#include <string>

namespace testhost {

class ScopedEnv {
  public:
    // std::nullopt unsets the variable.
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace testhost
