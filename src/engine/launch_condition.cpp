#include "engine/launch_condition.h"

#include "platform/text.h"

namespace vektrin {

std::string trimBlanksAndControls(std::string_view s) {
    return std::string(text::trimmedOfControls(s));
}

LaunchConditionOutcome testLaunchCondition(ConditionEvaluator& evaluator, std::string_view text) {
    switch (conditionShape(evaluator, text)) {
    case ConditionShape::Malformed:
        return LaunchConditionOutcome::Malformed;
    case ConditionShape::False:
        return LaunchConditionOutcome::False;
    default:
        return LaunchConditionOutcome::True;
    }
}

} // namespace vektrin
