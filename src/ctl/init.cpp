// init: the alias Control and an empty set of tables, so that a fresh account can start the
// scheduler without writing a file by hand.

#include "ctl/command.h"
#include "ctl/tables.h"
#include "engine/first_start.h"
#include "platform/aliases.h"
#include "platform/ini_file.h"
#include "platform/location.h"
#include "store/data_ctrl.h"

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
                   "$XDG_DATA_HOME when set), or a database: postgresql://... or service=NAME");
    auto* force =
        cmd.add_flag("--force", options.force, "Replace an alias Control that is defined");
    cmd.add_flag("--if-missing", options.ifMissing,
                 "Do nothing, quietly, when the alias Control is defined")
        ->excludes(force);
}

// A copy of the current record of from into a new record of to, every stored value as it is
// (the task numbers too, which the running tasks' output and protocol lines name).
void copyRecord(Table& from, Table& to) {
    to.append();
    for (int i = 0; i < from.fieldCount(); ++i) {
        Field& source = from.field(i);
        if (source.def().calculated || source.isNull()) continue;
        Field& target = to.field(i);
        switch (source.def().type) {
        case FieldType::Text:
            target.setString(source.asString());
            break;
        case FieldType::Float:
        case FieldType::Date:
        case FieldType::Time:
            target.setFloat(source.asFloat());
            break;
        default:
            target.setInteger(source.asInteger());
        }
    }
    to.post();
}

int runMigrate(const Context& context, const std::string& to) {
    if (!isServerLocation(to))
        throw CommandError(ExitUsage, "--to takes a database: postgresql://... or service=NAME");
    auto from = openTables(context, OpenMode::ReadOnly);
    if (isServerLocation(from->database().directory()))
        throw CommandError(ExitUsage, "The tables are on a database server already; export and "
                                      "import copy them between databases.");
    std::unique_ptr<TDataCtrl> into;
    try {
        struct Quiet final : MessagePort {
            void showMessage(std::string_view text, MessageKind) override {
                std::cerr << text << '\n';
            }
        } static quiet;
        into = std::make_unique<TDataCtrl>(to, quiet, OpenMode::ReadWrite);
        if (!into->Table1.isEmpty() || !into->Table2.isEmpty() || !into->Table3.isEmpty())
            throw CommandError(ExitDataError, "The database " + maskedLocation(to) +
                                                  " holds tables of Vektrin already: migrate "
                                                  "copies into an empty one. Nothing was copied.");
        into->Table2.beforeDelete = nullptr;
        std::size_t copied = 0;
        Transaction transaction(into->database());
        for (auto [source, target] : {std::pair<Table*, Table*>{&from->Table1, &into->Table1},
                                      {&from->Table2, &into->Table2},
                                      {&from->Table3, &into->Table3}})
            for (source->first(); !source->eof(); source->next(), ++copied)
                copyRecord(*source, *target);
        transaction.commit();
        std::cerr << copied << " records copied to " << maskedLocation(to) << '\n';
    } catch (const CommandError&) {
        throw;
    } catch (const std::exception& e) {
        throw CommandError(ExitDataError, std::string(e.what()) + "\nNothing was copied.");
    }
    // The line is the operator's to put in place, so that nothing runs on both at once.
    std::cout << "[Control]\npath=" << to << '\n';
    return ExitOk;
}

} // namespace

std::vector<Command> initCommands() {
    return {{"init",
             "Define the alias Control in your aliases file and make its directory with three "
             "empty tables, or the tables in a PostgreSQL database",
             withOptions<InitOptions>(declareInit, runInit)},
            {"migrate",
             "Copy the tables of the alias Control's directory into an empty PostgreSQL database, "
             "all or nothing, and print the alias lines that use it",
             withOptions<std::string>(
                 [](CLI::App& cmd, std::string& to) {
                     cmd.add_option("--to", to, "the database: postgresql://... or service=NAME")
                         ->required();
                 },
                 runMigrate)}};
}

} // namespace vektrin::ctl
