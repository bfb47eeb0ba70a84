#pragma once
// Database aliases: a name ("Control", "Orlimb") standing for the directory of its tables.

#include "platform/ini_file.h"

#include <optional>
#include <string>
#include <vector>

namespace vektrin {

// Where the aliases file is looked for, in order: $VEKTRIN_ALIASES alone when set; else
// aliases.ini in the configuration places (see config_paths.h).
std::vector<std::string> aliasesFileCandidates();

// The aliases file in force: the first candidate that is there; the user's own place when none is.
std::string aliasesFilePath();

// The directory of the alias, from the file's section [name] and its path= line (either in any
// letter case); a relative path is taken from the file's own directory. Empty when there is no
// file, no such section or no path= value. Throws ConfigFileError, naming the file and the reason,
// when something is at the file's path that cannot be read.
std::optional<std::string> lookupAlias(const std::string& name,
                                       const std::string& aliasesFile = aliasesFilePath());

} // namespace vektrin
