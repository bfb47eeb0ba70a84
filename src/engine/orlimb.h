#pragma once
// The companion product's settings ("Orlimb.ini") and period dates ("Orlimb.reg").

#include "platform/date_time.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace vektrin {

struct OrlimbKey {
    bool found = false;
    bool fileOpened = true;
    std::string value;
};

// Reads key=value lines (";" comment lines, first "=" splits) in CP866; the first line whose key
// equals key exactly, letter case included, gives the value.
OrlimbKey ReadOrlimbKey(const std::string& fileName, const std::string& key);

// A value starting with "/" or "\" is absolute; anything else is taken from base. Backslashes
// separate like slashes, as the companion product writes them.
std::string ResolveOrlimbPath(const std::string& base, const std::string& path);

// Thrown when the first line of the date file does not hold the two dates; the pass ends.
class OrlimbDateError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct OrlimbPeriod {
    DateTime begin = 0;
    DateTime end = 0;
};

// Columns 1-8 the begin date (yyyymmdd), 9-16 the end date, or eight blanks for 1997-12-31.
OrlimbPeriod parseOrlimbDates(const std::string& firstLine);

} // namespace vektrin
