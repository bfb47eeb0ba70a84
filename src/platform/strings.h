#pragma once
// The one string table of operator-visible texts (resources/strings.inc).

#include <initializer_list>
#include <string>
#include <string_view>

namespace vektrin::str {

#define VK_STRING(name, text) inline constexpr std::string_view name = text;
#include "resources/strings.inc"
#undef VK_STRING

// The format with each "%s" replaced by the next argument, in order; a "%s" beyond the arguments
// stays as it is.
std::string fill(std::string_view format, std::initializer_list<std::string> args);

// Replaces the one "%s" of a task message with the task's name.
std::string taskMessage(std::string_view format, std::string_view appName);

} // namespace vektrin::str
