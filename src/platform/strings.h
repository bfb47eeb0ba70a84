#pragma once
// The one string table of operator-visible texts (resources/strings.inc).

#include <string>
#include <string_view>

namespace vektrin::str {

#define VK_STRING(name, text) inline constexpr std::string_view name = text;
#include "resources/strings.inc"
#undef VK_STRING

// Replaces the one "%s" of a task message with the task's name.
std::string taskMessage(std::string_view format, std::string_view appName);

} // namespace vektrin::str
