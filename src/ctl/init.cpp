// init: the alias Control and an empty set of tables, so that a fresh account can start the
// scheduler without writing a file by hand.

#include "ctl/command.h"
#include "engine/first_start.h"
#include "platform/aliases.h"
#include "platform/ini_file.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace vektrin::ctl {
namespace {

struct InitOptions {
    std::string directory;
    bool force = false;
    bool ifMissing = false;
};

int runInit(const Context& context, const InitOptions& options) {
    FirstStart places = proposedFirstStart(context.aliasesFile);
    if (!options.directory.empty()) places.tablesDirectory = options.directory;
    std::optional<std::string> defined;
    std::string where = places.aliasesFile;
    try {
        defined = definedControl(where);
        // The file in force may be another (the system's) that defines it already.
        if (!defined && context.aliasesFile.empty()) {
            where = aliasesFilePath();
            defined = definedControl(where);
        }
    } catch (const ConfigFileError& e) {
        throw CommandError(ExitDataError, e.what());
    }
    if (defined && options.ifMissing) return ExitOk;
    if (defined && !options.force)
        throw CommandError(ExitNotFound, "The alias Control is defined already in " + where +
                                             ", as " + *defined + "; --force replaces it.");
    std::string directory;
    try {
        directory = defineControl(places);
    } catch (const std::exception& e) {
        throw CommandError(ExitDataError, std::string(e.what()) + "\nNothing was written.");
    }
    std::cout << "Aliases file: " << places.aliasesFile << "\nTables:       " << directory << '\n';
    return ExitOk;
}

void declareInit(CLI::App& cmd, InitOptions& options) {
    cmd.add_option("DIR", options.directory,
                   "the tables' directory (default: ~/.local/share/vektrin/tables, under "
                   "$XDG_DATA_HOME when set)");
    auto* force =
        cmd.add_flag("--force", options.force, "Replace an alias Control that is defined");
    cmd.add_flag("--if-missing", options.ifMissing,
                 "Do nothing, quietly, when the alias Control is defined")
        ->excludes(force);
}

} // namespace

std::vector<Command> initCommands() {
    return {{"init",
             "Define the alias Control in your aliases file and make its directory with three "
             "empty tables",
             withOptions<InitOptions>(declareInit, runInit)}};
}

} // namespace vektrin::ctl
