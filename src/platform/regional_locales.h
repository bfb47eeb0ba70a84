#pragma once
// The locales installed on this machine and the short date formats they write: a protocol kept
// for weeks holds lines written under more than one of them (a desktop session, ssh, a service).

#include <string>
#include <vector>

namespace vektrin {

// The names `locale -a` lists, apart from C and POSIX (without that program, the compiled locale
// directories); the directories under $LOCPATH instead, when it is set. Sorted, each once.
std::vector<std::string> installedLocaleNames();

// Every short date format this program can have written on this machine: the C locale's first,
// then those of the installed locales in the order of their names, each once. Formats that lack
// the day, the month or the year (they cannot be read back) are left out. Worked out on the first
// call; later calls return the same list.
const std::vector<std::string>& platformShortDateFormats();

} // namespace vektrin
