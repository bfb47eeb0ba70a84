#include "ctl/tables.h"
#include "platform/text.h"

#include "engine/operator_commands.h"
#include "platform/aliases.h"
#include "platform/location.h"
#include "platform/strings.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sys/stat.h>

namespace vektrin::ctl {
namespace {

// The data module's message boxes have no one to look at them here.
class StderrMessages final : public MessagePort {
  public:
    void showMessage(std::string_view text, MessageKind) override { std::cerr << text << '\n'; }
};

StderrMessages messages;

// Reads exactly `digits` digits at text[pos].
std::optional<int> number(std::string_view text, std::size_t pos, std::size_t digits) {
    if (pos + digits > text.size()) return std::nullopt;
    int value = 0;
    const char* begin = text.data() + pos;
    auto [end, ec] = std::from_chars(begin, begin + digits, value);
    if (ec != std::errc() || end != begin + digits) return std::nullopt;
    return value;
}

} // namespace

std::string tablesDirectory(const Context& context) {
    const std::string file = context.aliasesFile.empty() ? aliasesFilePath() : context.aliasesFile;
    std::optional<std::string> directory;
    try {
        directory = lookupAlias("Control", file);
    } catch (const ConfigFileError& e) {
        throw CommandError(ExitDataError, e.what());
    }
    if (!directory) {
        // A fresh account meets this first, whichever command it tries.
        const std::string init = " Run \"vektrinctl init\" to define it with empty tables.";
        std::error_code ec;
        if (std::filesystem::symlink_status(file, ec).type() !=
            std::filesystem::file_type::not_found)
            throw CommandError(ExitDataError,
                               "The database alias Control is not defined in " + file + "." + init);
        // No file at all: name every place that was looked at.
        std::string places;
        for (const auto& candidate :
             context.aliasesFile.empty() ? aliasesFileCandidates() : std::vector{file})
            places += (places.empty() ? "" : ", ") + candidate;
        throw CommandError(ExitDataError,
                           "The database alias Control is not defined: there is no aliases file (" +
                               places + ")." + init);
    }
    return *directory;
}

std::unique_ptr<TDataCtrl> openTables(const Context& context, OpenMode mode) {
    const std::string directory = tablesDirectory(context);
    context.tablesDirectory = maskedLocation(directory); // named in messages
    try {
        return std::make_unique<TDataCtrl>(directory, messages, mode);
    } catch (const DatabaseError& e) {
        throw tableFailure(maskedLocation(directory), e);
    } catch (const std::exception& e) {
        throw CommandError(ExitDataError, e.what());
    }
}

std::string tableFilePath(TDataCtrl& dm, const Table& table) {
    const char* file = &table == &dm.Table1   ? TaskFileName
                       : &table == &dm.Table2 ? ResourceFileName
                                              : SilenceFileName;
    return dm.database().directory() + "/" + file;
}

CommandError tableFailure(const std::string& directory, const std::exception& e) {
    const auto* error = dynamic_cast<const DatabaseError*>(&e);
    if (error && isDamageCode(error->code())) {
        for (const char* file : {TaskFileName, ResourceFileName, SilenceFileName}) {
            const std::string path = directory + "/" + file;
            const std::string damage = tableFileDamage(path);
            if (!damage.empty())
                return CommandError(ExitDataError, "The table file " + path + " is damaged: " +
                                                       e.what() + " (" + damage + ")");
        }
        return CommandError(ExitDataError,
                            "The tables in " + directory + " are damaged: " + e.what());
    }
    return CommandError(ExitDataError,
                        "The tables in " + directory + " cannot be used: " + e.what());
}

void locateTask(TDataCtrl& dm, const std::string& task) {
    const TaskLookup found = lookupTask(dm, task);
    if (found.bookmark == 0) throw CommandError(ExitNotFound, found.problem);
    dm.Table1.gotoBookmark(found.bookmark);
}

std::string formatMoment(const schedule::LaunchMoment& moment) {
    return isoDate(static_cast<double>(moment.day)) + ' ' + text::twoDigits(moment.minute / 60) +
           ':' + text::twoDigits(moment.minute % 60);
}

std::string clockTime(DateTime value) {
    const TimeParts t = decodeTime(value);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buffer;
}

std::string isoTime(DateTime value) {
    const TimeParts t = decodeTime(value);
    char buffer[32];
    if (t.ms != 0)
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second,
                      t.ms);
    else
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buffer;
}

std::optional<DateTime> parseIsoDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto y = number(text, 0, 4), m = number(text, 5, 2), d = number(text, 8, 2);
    if (!y || !m || !d) return std::nullopt;
    return tryEncodeDate(*y, *m, *d);
}

std::optional<DateTime> parseIsoTime(std::string_view text) {
    if ((text.size() != 8 && text.size() != 12) || text[2] != ':' || text[5] != ':')
        return std::nullopt;
    const auto h = number(text, 0, 2), m = number(text, 3, 2), s = number(text, 6, 2);
    std::optional<int> ms = 0;
    if (text.size() == 12) ms = text[8] == '.' ? number(text, 9, 3) : std::nullopt;
    if (!h || !m || !s || !ms) return std::nullopt;
    return tryEncodeTime(*h, *m, *s, *ms);
}

std::string scheduleDescription(const Schedule& schedule) {
    return schedule.description({isoDate, clockTime}).text();
}

std::string runTypeName(std::int64_t runType) {
    static constexpr std::array<std::string_view, 4> names = {
        str::RunTypeNormal, str::RunTypeHided, str::RunTypeMinimized, str::RunTypeMaximized};
    return runType >= 0 && runType < 4 ? std::string(names[runType]) : std::string();
}

} // namespace vektrin::ctl
