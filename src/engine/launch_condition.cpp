#include "engine/launch_condition.h"

#include "platform/text.h"

namespace vektrin {

std::string trimBlanksAndControls(std::string_view s) {
    return std::string(text::trimmedOfControls(s));
}

LaunchConditionOutcome testLaunchCondition(ConditionEvaluator& evaluator, std::string_view text) {
    const std::string condition = trimBlanksAndControls(text);
    if (condition.empty()) return LaunchConditionOutcome::True;
    const double value = evaluator.EvaluateCondition(condition);
    if (evaluator.ConditionError()) return LaunchConditionOutcome::Malformed;
    return value != 0 ? LaunchConditionOutcome::True : LaunchConditionOutcome::False;
}

} // namespace vektrin
