#pragma once

#include <cstdint>
#include <string>

namespace vektrin {

// The status text of a task (the calculated field Sost).
std::string statusText(bool stopped, double endCode, std::int32_t exitCode);

// Codes at start-up that no process of this run can stand behind any more.
bool isStaleCode(int code);

} // namespace vektrin
