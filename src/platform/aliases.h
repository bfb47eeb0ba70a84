#pragma once
// Database aliases: a name ("Control", "Orlimb") standing for the directory of its tables.

#include <optional>
#include <string>

namespace vektrin {

// The aliases file in force: $VEKTRIN_ALIASES when set, else $XDG_CONFIG_HOME/vektrin/aliases.ini
// (~/.config when unset) when it exists, else /etc/xdg/vektrin/aliases.ini.
std::string aliasesFilePath();

// The directory of the alias, from the file's section [name] and its path= line; a relative path
// is taken from the file's own directory. Empty when the file, the section or path= is missing.
std::optional<std::string> lookupAlias(const std::string& name,
                                       const std::string& aliasesFile = aliasesFilePath());

} // namespace vektrin
