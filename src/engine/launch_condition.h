#pragma once
// The launch-condition test of the scheduling pass (TrueCondition without its bookkeeping of code
// 13), for those who want the answer with its reason and without touching the task record.

#include "condition/evaluator.h"

#include <string>
#include <string_view>

namespace vektrin {

enum class LaunchConditionOutcome { True, False, Malformed };

// A condition is tested without the blanks and control characters around it.
std::string trimBlanksAndControls(std::string_view text);

// What a condition text is, tried as the scheduler tries it (trimmed of blanks and control
// characters). The evaluation is an ordinary one (the scheduler's writes its trace line); an
// error that ends it reaches the caller.
enum class ConditionShape { Empty, True, False, Malformed };
template <class Evaluator>
ConditionShape conditionShape(Evaluator& evaluator, std::string_view text) {
    const std::string condition = trimBlanksAndControls(text);
    if (condition.empty()) return ConditionShape::Empty;
    const double value = evaluator.EvaluateCondition(condition);
    if (evaluator.ConditionError()) return ConditionShape::Malformed;
    return value != 0 ? ConditionShape::True : ConditionShape::False;
}

// An empty condition holds. Errors that end an evaluation (EvaluationFailure) reach the caller.
LaunchConditionOutcome testLaunchCondition(ConditionEvaluator& evaluator, std::string_view text);

} // namespace vektrin
