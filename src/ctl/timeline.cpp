// timeline: the coming hours or days of the tables as an SVG chart, or as lines for scripts.

#include "engine/timeline.h"
#include "ctl/command.h"
#include "ctl/tables.h"
#include "engine/pass_history.h"
#include "engine/timeline_svg.h"
#include "platform/places.h"
#include "platform/settings_store.h"
#include "platform/strings.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin::ctl {
namespace {

// The tasks named, by AppID or, failing that, AppName, as `next` finds them; every name that
// finds none or several is told at once.
std::vector<int> selectTasks(const timeline::Tables& tables,
                             const std::vector<std::string>& names) {
    std::vector<int> shown;
    std::string problems;
    for (const std::string& name : names) {
        std::int64_t id = 0;
        auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), id);
        int found = -1;
        if (ec == std::errc() && end == name.data() + name.size())
            for (std::size_t i = 0; i < tables.tasks.size() && found < 0; ++i)
                if (tables.tasks[i].appId == id) found = static_cast<int>(i);
        int matches = found >= 0 ? 1 : 0;
        if (found < 0)
            for (std::size_t i = 0; i < tables.tasks.size(); ++i)
                if (tables.tasks[i].name == name && matches++ == 0) found = static_cast<int>(i);
        if (matches == 1) {
            shown.push_back(found);
            continue;
        }
        if (!problems.empty()) problems += '\n';
        problems += matches == 0
                        ? "No task has the AppID or AppName " + name
                        : std::to_string(matches) + " tasks are named " + name + "; give the AppID";
    }
    if (!problems.empty()) throw CommandError(ExitNotFound, problems);
    return shown;
}

// The whole text or nothing: a file that existed keeps its old content when writing fails.
void writeOutput(const std::string& path, const std::string& text) {
    const auto failed = [&](int error) {
        return CommandError(ExitDataError, "Cannot write " + path + ": " + std::strerror(error));
    };
    const auto writeAll = [&](int fd) {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errno;
            done += static_cast<std::size_t>(n);
        }
        return 0;
    };
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe (/dev/stdout, a fifo) is written as it is.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) throw failed(errno);
        const int error = writeAll(fd);
        ::close(fd);
        if (error) throw failed(error);
        return;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) throw failed(errno);
    // As an ordinary new file would be: the umask's permissions, or the old file's.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    int error = ::fchmod(fd, exists ? (st.st_mode & 07777) : (0666 & ~mask)) == 0 ? 0 : errno;
    if (!error) error = writeAll(fd);
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temp.c_str());
        throw failed(error);
    }
}

struct TimelineOptions {
    std::string from, to;
    int hours = 0, days = 0;
    std::vector<std::string> tasks;
    std::string output;
    bool text = false;
};

int runTimeline(const Context& context, const TimelineOptions& o) {
    const DateTime now = context.now();
    const DateTime asked = o.from.empty() ? now : *readMoment(o.from, now);
    DateTime to = asked + 1;
    if (!o.to.empty()) to = *readMoment(o.to, now);
    if (o.hours > 0) to = asked + o.hours / 24.0;
    if (o.days > 0) to = asked + o.days;
    timeline::PeriodOrProblem period = timeline::makePeriod(asked, to);
    if (!period.period) throw CommandError(ExitUsage, period.problem);

    auto dm = openTables(context, OpenMode::ReadOnly);
    timeline::Tables tables = timeline::readTables(*dm);
    const std::vector<int> shown =
        o.tasks.empty() ? timeline::defaultSelection(tables) : selectTasks(tables, o.tasks);
    const std::string& directory = context.tablesDirectory;
    const std::vector<timeline::MadeUp> madeUp = timeline::madeUpLaunches(
        tables, shown,
        recordedGaps(PassHistory::fileFor(places::stateDirectory(), directory), directory, now),
        catchUpDays(SettingsStore()), now);
    // Without --from the chart begins at a launch made up in the last hours, as the window's.
    if (o.from.empty())
        if (auto earlier = timeline::makePeriod(timeline::chartBegin(madeUp, now), to);
            earlier.period)
            period = earlier;
    const timeline::Model model =
        timeline::buildModel(std::move(tables), *period.period, shown, madeUp);
    const bool toStandardOutput = o.output.empty() || o.output == "-";
    if (o.text && toStandardOutput) {
        // Lines as they are made: a week of every-minute tasks is millions of them.
        timeline::writeTextLines(model, std::cout);
        std::cout.flush();
    } else {
        const std::string text = o.text
                                     ? timeline::textLines(model)
                                     : timeline::renderSvg(model, RegionalSettings::fromLocale());
        if (toStandardOutput)
            std::cout << text << std::flush;
        else
            writeOutput(o.output, text);
    }
    if (!model.anyLaunch())
        std::cerr << (model.lanes.empty() ? str::TimelineNoTasks : str::TimelineNothingDue) << '\n';
    return ExitOk;
}

void declareTimeline(CLI::App& cmd, TimelineOptions& o) {
    addMomentOption(cmd, "--from", o.from, "where the period begins (default: --at, or now)");
    auto* to =
        addMomentOption(cmd, "--to", o.to, "where the period ends (it holds at most 31 days)");
    auto* hours = addNumberOption(cmd, "--hours", o.hours, "the period's length in hours", 1,
                                  timeline::MaxDays * 24);
    auto* days = addNumberOption(cmd, "--days", o.days, "the period's length in days (default: 1)",
                                 1, timeline::MaxDays);
    to->excludes(hours)->excludes(days);
    hours->excludes(days);
    cmd.add_option("--task", o.tasks,
                   "only these tasks, by AppID or AppName (default: every task not stopped)")
        ->option_text("TASK ...");
    cmd.add_option("-o,--output", o.output, "the file (standard output without)")
        ->option_text("FILE");
    cmd.add_flag("--text", o.text, "Lines \"YYYY-MM-DD HH:MM<TAB>task<TAB>what\" instead of SVG");
}

} // namespace

std::vector<Command> timelineCommands() {
    return {{"timeline",
             "Draw the launches, windows, silence periods and resource conflicts of the coming "
             "hours or days as an SVG chart (or, with --text, as lines)",
             withOptions<TimelineOptions>(declareTimeline, runTimeline)}};
}

} // namespace vektrin::ctl
