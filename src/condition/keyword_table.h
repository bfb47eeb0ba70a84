#pragma once
// The built-in functions of the condition language, in the order in which the scanner tries
// their names: a longer name always comes before a shorter name that is its prefix.

#include "condition/environment.h"
#include "condition/value_cell.h"

#include <array>
#include <string_view>

namespace vektrin {

enum class ArgumentKind : unsigned char { Number, Text };

// Reads argument.number or argument.text as `argument` of the entry says; throws
// FloatingPointError or DateEncodeError where the function has no value.
using BuiltinFunction = double (*)(const ValueCell& argument, ConditionEnvironment& env);

struct Keyword {
    std::string_view name;
    ArgumentKind argument;
    BuiltinFunction function;
};

inline constexpr std::size_t KeywordCount = 39;
extern const std::array<Keyword, KeywordCount> KeywordTable;

} // namespace vektrin
