#pragma once
// import --crontab: the entries of a crontab as tasks.

#include "ctl/command.h"

#include <string>

namespace vektrin::ctl {

struct CrontabImport {
    bool crontab = false;
    bool check = false;           // show what would be made, write nothing
    bool skipUnsupported = false; // make what can be made, leave the refused lines out
};

// Puts --crontab, --check and --skip-unsupported on import; returns --crontab.
CLI::Option* addCrontabOptions(CLI::App& cmd, CrontabImport& how);

// The whole of a file import reads ("-": standard input), refused past 256 MiB; `label` names it.
std::string readDocument(const std::string& inputFile, const std::string& label);

// file: a path, or "-" or empty for standard input.
int runCrontabImport(const Context& context, const std::string& file, const CrontabImport& how);

} // namespace vektrin::ctl
