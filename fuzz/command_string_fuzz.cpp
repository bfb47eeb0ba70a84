// UnpackCommandString over arbitrary bytes: the first six bytes choose the three dates within the
// years 1..9999, the rest is the text.

#include "engine/command_string.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Day counts of 0001-01-01 and 9999-12-31.
constexpr double FirstDay = -693593;
constexpr double DayRange = 2958465 - FirstDay;

double dateFrom(const std::uint8_t* p) {
    const unsigned v = static_cast<unsigned>(p[0]) << 8 | p[1];
    return FirstDay + DayRange * (v / 65536.0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 6, size - 6);
    const std::string out =
        vektrin::UnpackCommandString(text, dateFrom(data), dateFrom(data + 2), dateFrom(data + 4));
    // Values are never longer than their placeholders, and no filler survives.
    if (out.size() > text.size()) __builtin_trap();
    if (out.find('\x01') != std::string::npos) __builtin_trap();
    return 0;
}
