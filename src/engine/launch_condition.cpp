#include "engine/launch_condition.h"

namespace vektrin {

std::string trimBlanksAndControls(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return std::string(s);
}

LaunchConditionOutcome testLaunchCondition(ConditionEvaluator& evaluator, std::string_view text) {
    const std::string condition = trimBlanksAndControls(text);
    if (condition.empty()) return LaunchConditionOutcome::True;
    const double value = evaluator.EvaluateCondition(condition);
    if (evaluator.ConditionError()) return LaunchConditionOutcome::Malformed;
    return value != 0 ? LaunchConditionOutcome::True : LaunchConditionOutcome::False;
}

} // namespace vektrin
