#include "support/scoped_env.h"

#include <cstdlib>
#include <ctime>

namespace vektrin::test {
namespace {

void put(const std::string& name, const char* value) {
    if (value)
        setenv(name.c_str(), value, 1);
    else
        unsetenv(name.c_str());
    // The C library reads TZ once and keeps it; make it look again.
    if (name == "TZ") tzset();
}

} // namespace

void ScopedEnv::set(const std::string& name, const char* value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    put(name, value);
}

ScopedEnv::~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
        put(it->first, it->second ? it->second->c_str() : nullptr);
}

} // namespace vektrin::test
