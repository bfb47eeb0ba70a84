#pragma once
// One function per table command; each returns the exit code or throws CommandError.

#include "ctl/command.h"

#include <optional>
#include <string>

namespace vektrin::ctl {

int runTasks(const Context& context, bool json);
int runNext(const Context& context, const std::string& task, int count);
int runDue(const Context& context, bool json);
int runExport(const Context& context, const std::string& outputFile);
int runImport(const Context& context, const std::string& inputFile, bool replace);

struct ProtocolOptions {
    std::string logFile;           // empty: the running scheduler's, or where one keeps it
    std::optional<DateTime> since; // a day
    std::string task;              // AppName; empty for every line
    bool follow = false;
    int lastLines = 0; // only the last lines that pass the filters; 0 for all
};
int runProtocol(const Context& context, const ProtocolOptions& options);

} // namespace vektrin::ctl
