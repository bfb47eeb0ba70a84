#pragma once

#include "store/task_states.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vektrin {

// The status text of a task (the calculated field Sost).
std::string statusText(bool stopped, double endCode, std::int32_t exitCode);

// Codes at start-up that no process of this run can stand behind any more.
bool isStaleCode(std::optional<CompletionCode> code);

} // namespace vektrin
