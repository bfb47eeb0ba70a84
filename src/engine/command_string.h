#pragma once
// Expansion of the date and time placeholders of command strings and conditions.

#include "platform/date_time.h"

#include <array>
#include <string>
#include <string_view>

namespace vektrin {

// The 20 placeholders in the order in which every sweep tries them.
inline constexpr std::array<std::string_view, 20> PlaceholderTable = {
    "%NDD%", "%NMM%", "%NYY%",   "%NCM%",   "%KDD%",   "%KMM%", "%KYY%", "%KCM%", "%TDD%", "%TMM%",
    "%TYY%", "%TCM%", "%TIMEH%", "%TIMEM%", "%TIMES%", "%DOW%", "%NCY%", "%KCY%", "%TCY%", "%DWN%",
};

// The text with every placeholder replaced, matched without regard to case. The N and K dates
// are the period dates (today unless the companion product supplies them); the T date and the
// time of day come from `now`. Characters of code 1 are removed from the result.
std::string UnpackCommandString(std::string_view text, DateTime nDate, DateTime kDate,
                                DateTime now);

} // namespace vektrin
