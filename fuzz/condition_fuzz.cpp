// EvaluateCondition over arbitrary bytes: the first byte is the regional decimal separator (any
// byte, as a locale might have it), the rest the condition text. Every input must end in a
// value, ConditionError, or one of the named evaluation errors.

#include "condition/condition_errors.h"
#include "condition/evaluator.h"
#include "engine/command_string.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

class FuzzEnvironment final : public vektrin::ConditionEnvironment {
  public:
    std::string unpackCommandString(std::string_view text) override {
        // 2024-03-07 09:05:04, period 1997-12-01 .. 1997-12-31.
        return vektrin::UnpackCommandString(text, 35765, 35795, 45358.37851851852);
    }
    void writeProtocol(std::string_view message) override { traced += message.size(); }
    void showTooComplex() override {}
    const vektrin::RegionalSettings& regional() const override { return settings; }

    vektrin::RegionalSettings settings;
    std::size_t traced = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    FuzzEnvironment env;
    env.settings.decimalSeparator = static_cast<char>(data[0]);
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    vektrin::ConditionEvaluator evaluator(env);
    try {
        const double value = evaluator.EvaluateCondition(text);
        if (evaluator.ConditionError() && value != INFINITY) __builtin_trap();
        if (std::isnan(value)) __builtin_trap(); // every invalid operation must have raised
    } catch (const vektrin::EvaluationFailure&) {
    }
    if (env.traced == 0) __builtin_trap(); // the trace line comes first, always
    return 0;
}
