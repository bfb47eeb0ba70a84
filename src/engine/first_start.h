#pragma once
// A first start on an account that has no alias Control: the alias in the user's aliases file and
// an empty set of tables, as `vektrinctl init` and the desktop program's first-start question make
// them.

#include <optional>
#include <string>

namespace vektrin {

struct FirstStart {
    std::string aliasesFile;     // the file the scheduler reads first
    std::string tablesDirectory; // $XDG_DATA_HOME/vektrin/tables
};

// The places a first start proposes; a given aliases file (--aliases) stands for the user's.
FirstStart proposedFirstStart(const std::string& aliasesFile = {});

// The directory the alias Control names in the file, if it names one. Throws ConfigFileError for
// a file that is there but cannot be read.
std::optional<std::string> definedControl(const std::string& aliasesFile);

// Makes the directory (mode 0700, with its missing parents) and its three empty tables, then
// defines Control as its absolute path in the aliases file, keeping every other byte of it.
// Returns that path. Throws an error naming the place and the reason (its refusals and those of
// the files are OperatorErrors, with their identity); then the aliases file is as it was and what
// this made is gone again.
std::string defineControl(const FirstStart& places);

} // namespace vektrin
