// output: the bytes a run of a task printed, the list of its kept runs, and following a run
// while it goes on.

#include "ctl/command.h"
#include "ctl/json.h"
#include "ctl/tables.h"
#include "platform/run_output.h"
#include "platform/strings.h"
#include "store/status_text.h"
#include "store/task_states.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vektrin::ctl {
namespace {

struct OutputOptions {
    std::string task;
    int run = 1; // 1: the last run, 2: the one before, ...
    bool list = false;
    bool follow = false;
    bool json = false;
};

std::string moment(DateTime value) {
    return isoDate(value) + " " + isoTime(value);
}

// Its recorded end's status; "Runs" while a process of it lives; "Unknown" once it is over
// without a record (its scheduler was killed, and nobody else can know how the task ended).
std::string status(const RunInfo& run) {
    if (run.end) return statusText(false, run.end->endCode, run.end->exitCode.value_or(0));
    if (run.goesOn) return std::string(str::Sost2);
    return statusText(false, static_cast<double>(CompletionCode::Unknown), 0);
}

CommandError readFailure(const std::string& path) {
    return CommandError(ExitDataError, "Cannot read " + path + ": " + std::strerror(errno));
}

// Copies the file from offset on to standard output; returns the new offset.
off_t copyFrom(int fd, off_t offset, const std::string& path) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw readFailure(path);
        }
        if (n == 0) return offset;
        std::cout.write(buffer, n);
        offset += n;
    }
}

// Where the stream of a run going on stood at a file offset, in the file as it was when its
// marker line was the given one (at the offset head).
std::uint64_t streamAt(std::uint64_t offset, std::uint64_t head, const MarkerAt& marker) {
    if (marker.kind != MarkerAt::Marker || offset <= head) return offset;
    return head + marker.leftOut + (offset > marker.end ? offset - marker.end : 0);
}

// Prints the run and goes on printing what it appends until its end is recorded. While the run
// goes on its keeper cuts the file in place, raising the count of its marker line: what is printed
// then goes on where the run's stream left off, with a marker line of its own for what was cut
// before it could be printed.
int follow(const RunInfo& run) {
    const int fd = ::open(run.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw readFailure(run.path);
    const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
    const std::optional<std::uint64_t> head = runHead(run.path);
    const auto markerNow = [&] { return head ? readMarker(fd, *head) : MarkerAt{}; };
    MarkerAt marker = markerNow();
    std::uint64_t offset = 0;
    char last = '\n';
    char buffer[1 << 16];
    for (;;) {
        if (standardOutputFailure()) return ExitOk; // reported as vektrinctl ends
        // The end is recorded once the keeper has given the file its final form, and the keeper
        // holds the file until then: what is read after seeing either is all there is.
        const bool ended = readRunEnd(run.path).has_value() || !runGoesOn(run.path);
        bool cutting = false;
        for (;;) {
            const MarkerAt now = markerNow();
            if (now.kind == MarkerAt::Busy) {
                cutting = true;
                break;
            }
            if (now.leftOut != marker.leftOut) {
                const std::uint64_t stream = streamAt(offset, *head, marker);
                const std::uint64_t kept = *head + now.leftOut; // where the tail's stream begins
                if (stream <= *head) {
                    offset = stream;
                } else if (stream >= kept) {
                    offset = now.end + (stream - kept);
                } else {
                    std::cout << (last == '\n' ? "" : "\n") << leftOutLine(kept - stream);
                    last = '\n';
                    offset = now.end;
                }
                marker = now;
            }
            const ssize_t n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(offset));
            if (n < 0 && errno != EINTR) throw readFailure(run.path);
            const MarkerAt after = markerNow();
            if (n < 0 || after.kind != now.kind || after.leftOut != now.leftOut) continue;
            if (n == 0) break;
            std::cout.write(buffer, n);
            last = buffer[n - 1];
            offset += static_cast<std::uint64_t>(n);
        }
        if (ended && !cutting) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(cutting ? 5 : 250));
    }
    std::cout.flush();
    return ExitOk;
}

int runOutput(const Context& context, const OutputOptions& options) {
    auto dm = openTables(context, OpenMode::ReadOnly);
    locateTask(*dm, options.task);
    const auto appId = static_cast<std::int32_t>(dm->Table1AppID.asInteger());
    const std::string name = dm->Table1AppName.asString();
    const std::string root = defaultOutputRoot();
    std::vector<RunInfo> runs;
    try {
        runs = listRuns(root, appId);
    } catch (const std::exception& e) {
        throw CommandError(ExitDataError, e.what());
    }
    const std::string where = taskOutputDirectory(root, appId);

    if (options.list) {
        if (runs.empty()) std::cerr << "No run of " << name << " is kept in " << where << '\n';
        int number = 0;
        if (options.json) {
            Json all = Json::array();
            for (const RunInfo& run : runs) {
                Json r = Json::object();
                r["Run"] = ++number;
                r["Start"] = moment(run.start);
                r["End"] = run.end ? Json(moment(run.end->end)) : Json(nullptr);
                r["ExitCode"] =
                    run.end && run.end->exitCode ? Json(*run.end->exitCode) : Json(nullptr);
                r["Status"] = status(run);
                r["Size"] = run.size;
                all.push_back(std::move(r));
            }
            std::cout << all.dump(2) << '\n';
            return ExitOk;
        }
        for (const RunInfo& run : runs) {
            std::cout << ++number << '\t' << moment(run.start) << '\t';
            if (run.end)
                std::cout << moment(run.end->end) << '\t'
                          << (run.end->exitCode ? std::to_string(*run.end->exitCode) : "-");
            else
                std::cout << "-\t-";
            std::cout << '\t' << status(run) << '\t' << run.size << '\n';
        }
        return ExitOk;
    }

    if (runs.empty())
        throw CommandError(ExitNotFound, "No run of " + name + " is kept in " + where);
    if (options.run > static_cast<int>(runs.size()))
        throw CommandError(
            ExitNotFound,
            "Run " + std::to_string(options.run) + " of " + name + " is not kept: there " +
                (runs.size() == 1 ? "is 1 run" : "are " + std::to_string(runs.size()) + " runs") +
                " (vektrinctl output --list)");
    const RunInfo& run = runs[static_cast<std::size_t>(options.run - 1)];
    if (options.follow) return follow(run);
    const int fd = ::open(run.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw readFailure(run.path);
    try {
        copyFrom(fd, 0, run.path);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    std::cout.flush();
    return ExitOk;
}

void declareOutput(CLI::App& cmd, OutputOptions& options) {
    addArgument(cmd, "TASK", options.task, TaskArgumentHelp);
    CLI::Option* run = addNumberOption(cmd, "--run", options.run,
                                       "the run: 1 the last, 2 the one before, ...", 1, 1000000);
    CLI::Option* follow = cmd.add_flag("-f,--follow", options.follow,
                                       "Go on printing while the run goes on, until it ends");
    cmd.add_flag("--list", options.list,
                 "List the kept runs, newest first: number, start, end, exit code, status and "
                 "size in bytes, separated by tabs")
        ->excludes(run)
        ->excludes(follow);
    cmd.add_flag("--json", options.json,
                 "With --list: an array of objects (Run, Start, End, ExitCode, Status, Size)");
}

} // namespace

std::vector<Command> outputCommands() {
    return {{"output",
             "Print what the last run of a task printed (standard output and error as written), "
             "an earlier run, or the list of its kept runs",
             withOptions<OutputOptions>(declareOutput, runOutput)}};
}

} // namespace vektrin::ctl
