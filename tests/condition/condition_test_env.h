#pragma once

#include "condition/environment.h"

#include <functional>
#include <string>
#include <vector>

namespace vektrin::test {

// Records what an evaluation asks of its surroundings.
class RecordingEnvironment final : public ConditionEnvironment {
  public:
    std::string unpackCommandString(std::string_view text) override {
        return expand ? expand(text) : std::string(text);
    }
    void writeProtocol(std::string_view message) override { protocol.emplace_back(message); }
    void showTooComplex() override { ++tooComplexShown; }
    const RegionalSettings& regional() const override { return settings; }

    std::function<std::string(std::string_view)> expand;
    std::vector<std::string> protocol;
    int tooComplexShown = 0;
    RegionalSettings settings;
};

} // namespace vektrin::test
