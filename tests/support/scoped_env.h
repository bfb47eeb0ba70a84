#pragma once
// Environment variables set for one scope: what was there before comes back when the scope ends,
// however the test ends (a failed ASSERT included).

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vektrin::test {

class ScopedEnv {
  public:
    ScopedEnv() = default;
    ScopedEnv(const std::string& name, const char* value) { set(name, value); }
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // value null: unset. Setting one name twice is fine; the first old value is the one restored.
    void set(const std::string& name, const char* value);
    void set(const std::string& name, const std::string& value) { set(name, value.c_str()); }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

} // namespace vektrin::test
