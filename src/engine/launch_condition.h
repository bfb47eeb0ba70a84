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

// An empty condition holds. Errors that end an evaluation (EvaluationFailure) reach the caller.
LaunchConditionOutcome testLaunchCondition(ConditionEvaluator& evaluator, std::string_view text);

} // namespace vektrin
