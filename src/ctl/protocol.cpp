// protocol: the lines of the protocol file, filtered by day and task, the last of them or all,
// and followed as they come.

#include "ctl/control.h"
#include "ctl/json.h"
#include "ctl/tables.h"
#include "engine/protocol_file.h"
#include "platform/clock.h"
#include "platform/location.h"
#include "platform/places.h"
#include "platform/regional.h"
#include "platform/strings.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <optional>

namespace vektrin::ctl {
namespace {

struct ProtocolOptions {
    std::string logFile;           // empty: the running scheduler's, or where one keeps it
    std::optional<DateTime> since; // lines at this moment or later
    std::optional<DateTime> until; // lines before this moment
    std::string task;              // AppName; empty for every line
    bool follow = false;
    bool json = false;
    int lastLines = -1; // only the last lines that pass the filters; -1 for all
    // From the database that several workstations share: every host's lines, or one host's.
    bool allHosts = false;
    std::string host;
};

// The time of day after a line's date token: "H:MM:SS", with " AM" or " PM" in the locales
// that write them; nothing when the line has none.
std::optional<DateTime> lineTime(std::string_view line) {
    const auto blank = line.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    int parts[3] = {0, 0, 0};
    std::size_t at = blank + 1;
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && (at >= line.size() || line[at++] != ':')) return std::nullopt;
        const auto [end, ec] =
            std::from_chars(line.data() + at, line.data() + line.size(), parts[i]);
        if (ec != std::errc()) return std::nullopt;
        at = static_cast<std::size_t>(end - line.data());
    }
    const std::string_view rest = line.substr(at);
    if (rest.starts_with(" PM") && parts[0] < 12) parts[0] += 12;
    if (rest.starts_with(" AM") && parts[0] == 12) parts[0] = 0;
    return tryEncodeTime(parts[0], parts[1], parts[2]);
}

class LineFilter {
  public:
    explicit LineFilter(const ProtocolOptions& options)
        : options_(options),
          // A log outlives changes of locale: each line is read in the format that wrote it.
          dates_(RegionalSettings::fromLocale().shortDateFormat,
                 decodeDate(SystemClock().now()).year),
          needle_("<" + options.task + ">"),
          executes_(str::taskMessage(str::Executes, options.task)) {}

    bool accepts(std::string_view line) {
        // A line without a date of its own goes with the line before it.
        if (const std::optional<DateTime> date = dates_.read(line)) {
            moment_ = *date + lineTime(line).value_or(0);
            previousInRange_ = (!options_.since || msOf(*moment_) >= msOf(*options_.since)) &&
                               (!options_.until || msOf(*moment_) < msOf(*options_.until));
        } else {
            moment_.reset();
        }
        if ((options_.since || options_.until) && !previousInRange_) return false;
        if (options_.task.empty()) return true;
        const bool named = line.find(needle_) != std::string_view::npos;
        // A failed launch writes its error, without the task's name, right after "Executes".
        const bool launchError =
            afterExecutes_ && line.find(str::LaunchErrorPrefix) != std::string_view::npos;
        afterExecutes_ = named && line.find(executes_) != std::string_view::npos;
        return named || launchError;
    }

    // The moment of the line last seen, when it has a date.
    const std::optional<DateTime>& moment() const { return moment_; }

  private:
    const ProtocolOptions& options_;
    ProtocolLineDates dates_;
    std::string needle_;
    std::string executes_;
    bool previousInRange_ = false;
    bool afterExecutes_ = false;
    std::optional<DateTime> moment_;
};

// A protocol line for scripts: its moment as read, and the line as it is, as one JSON object.
std::string jsonLine(std::string_view line, const std::optional<DateTime>& moment) {
    Json object = Json::object();
    object["Moment"] = moment ? Json(isoDate(*moment) + " " + clockTime(*moment)) : Json(nullptr);
    object["Line"] = std::string(line);
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The protocol named, else the running scheduler's (or the one a scheduler that ended without
// cleaning up named), else where the service and scripts/run keep it, else the current
// directory's.
std::string protocolPath(const Context& context, const ProtocolOptions& options) {
    if (!options.logFile.empty()) return options.logFile;
    struct stat st {};
    const std::string scheduler = schedulerLogPath(context);
    if (!scheduler.empty() && stat(scheduler.c_str(), &st) == 0) return scheduler;
    const std::string state = places::stateDirectory() + "/Vektrin.log";
    if (stat(state.c_str(), &st) == 0) return state;
    if (stat("Vektrin.log", &st) == 0) return "Vektrin.log";
    throw CommandError(ExitDataError, "No protocol found: no scheduler of the tables tells where "
                                      "it writes, and neither " +
                                          state +
                                          " nor Vektrin.log in the current directory is there. "
                                          "Name it with --log FILE.");
}

// Reads a file from an offset on, handing over complete lines only.
class LineReader {
  public:
    explicit LineReader(std::string path) : path_(std::move(path)) {}
    ~LineReader() { closeFile(); }

    bool open() {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return false;
        struct stat st {};
        fstat(fd_, &st);
        inode_ = st.st_ino;
        offset_ = 0;
        pending_.clear();
        return true;
    }

    // Hands every complete line read so far to emit; false on a read error.
    template <class Emit> bool drain(Emit emit) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::pread(fd_, buffer, sizeof buffer, offset_);
            if (n < 0) return errno == EINTR;
            if (n == 0) return true;
            offset_ += n;
            pending_.append(buffer, static_cast<std::size_t>(n));
            std::size_t start = 0;
            for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos;
                 start = end + 1) {
                std::string_view line(pending_.data() + start, end - start);
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                emit(line);
            }
            pending_.erase(0, start);
        }
    }

    // The last line when the file ends without a line end.
    template <class Emit> void flushPending(Emit emit) {
        std::string_view line = pending_;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) emit(line);
        pending_.clear();
    }

    // Protocol clearing renames a new file over the log; a shorter file was truncated.
    bool replacedOrTruncated() const {
        struct stat st {};
        if (stat(path_.c_str(), &st) != 0) return false;
        return st.st_ino != inode_ || st.st_size < offset_;
    }

    bool isOpen() const { return fd_ >= 0; }
    void rewind() {
        offset_ = 0;
        pending_.clear();
    }

    void closeFile() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    std::string path_;
    int fd_ = -1;
    ino_t inode_ = 0;
    off_t offset_ = 0;
    std::string pending_;
};

// The lines the schedulers of a shared database sent it, in the order it took them; with every
// host's, each line starts with its host.
int runSharedProtocol(const Context& context, const ProtocolOptions& options) {
    if (!isServerLocation(tablesDirectory(context)))
        throw CommandError(ExitUsage, "--all-hosts and --host need tables on a database server "
                                      "(the alias Control names a directory)");
    auto dm = openTables(context, OpenMode::ReadOnly);
    LineFilter filter(options);
    std::deque<std::string> shown;
    for (const SharedProtocolLine& l : dm->database().shared()->protocol(options.host)) {
        if (!filter.accepts(l.line)) continue;
        std::string text = options.json ? jsonLine(l.line, filter.moment())
                                        : (options.allHosts ? l.host + " " : "") + l.line + "\n";
        if (options.json) text.insert(1, "\"Host\":" + Json(l.host).dump() + ",");
        shown.push_back(std::move(text));
        if (options.lastLines >= 0 && shown.size() > static_cast<std::size_t>(options.lastLines))
            shown.pop_front();
    }
    if (!options.json) {
        for (const std::string& line : shown)
            std::cout << line;
        return ExitOk;
    }
    std::cout << (shown.empty() ? "[]" : "[");
    for (std::size_t i = 0; i < shown.size(); ++i)
        std::cout << (i ? ",\n  " : "\n  ") << shown[i];
    std::cout << (shown.empty() ? "\n" : "\n]\n");
    return ExitOk;
}

int runProtocol(const Context& context, const ProtocolOptions& options) {
    if (options.allHosts || !options.host.empty()) return runSharedProtocol(context, options);
    const std::string path = protocolPath(context, options);
    LineFilter filter(options);
    LineReader reader(path);
    // Followed by name, as tail -F does: a protocol not made yet is waited for.
    if (!reader.open()) {
        if (!options.follow || errno != ENOENT)
            throw CommandError(ExitDataError, "Cannot read " + path + ": " + std::strerror(errno));
        std::cerr << path << " is not there yet: waiting for it.\n";
    }
    std::string lastSeen;
    bool catchingUp = false;
    // With -n, the lines of the first reading wait here until it is known which are the last.
    std::deque<std::string> last;
    const bool inArray = options.json && !options.follow;
    std::size_t elements = 0; // of the array printed so far
    const auto nextElement = [&] { return elements++ == 0 ? "[\n  " : ",\n  "; };
    bool keepLast = options.lastLines >= 0;
    auto emit = [&](std::string_view line) {
        if (catchingUp) {
            // The rewritten log starts with the kept lines, which have been printed already.
            if (line == lastSeen) catchingUp = false;
            return;
        }
        lastSeen = line;
        if (!filter.accepts(line)) return;
        // Followed, one object a line; else the elements of one array, written as they come (a
        // long protocol is never held whole) or, with -n, once the last are known.
        std::string shown = options.json ? jsonLine(line, filter.moment()) : std::string(line);
        if (!options.json || options.follow) shown += '\n';
        if (!keepLast) {
            if (inArray) std::cout << nextElement();
            std::cout << shown;
            return;
        }
        last.push_back(std::move(shown));
        if (last.size() > static_cast<std::size_t>(options.lastLines)) last.pop_front();
    };
    const auto printLast = [&] {
        for (const std::string& line : last) {
            if (inArray) std::cout << nextElement();
            std::cout << line;
        }
        last.clear();
        keepLast = false;
    };
    const auto readError = [&] {
        return CommandError(ExitDataError, "Cannot read " + path + ": " + std::strerror(errno));
    };
    if (reader.isOpen() && !reader.drain(emit)) throw readError();
    if (!options.follow) {
        reader.flushPending(emit);
        printLast();
        if (inArray) std::cout << (elements == 0 ? "[]\n" : "\n]\n");
        return ExitOk;
    }
    printLast();
    // Until interrupted: look for new lines four times a second.
    for (;;) {
        if (standardOutputFailure()) return ExitOk; // reported as vektrinctl ends
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (reader.isOpen() && !reader.drain(emit)) throw readError();
        if (!reader.isOpen() || reader.replacedOrTruncated()) {
            reader.closeFile();
            if (!reader.open()) continue;
            catchingUp = !lastSeen.empty();
            if (!reader.drain(emit)) throw readError();
            // The last line seen is not in the new file: all of it is new.
            if (catchingUp) {
                catchingUp = false;
                reader.rewind();
                if (!reader.drain(emit)) throw readError();
            }
        }
    }
}

} // namespace

std::vector<Command> protocolCommands() {
    struct Values {
        ProtocolOptions protocol;
        std::string since, until;
    };
    return {{"protocol", "Print the protocol lines, filtered",
             withOptions<Values>(
                 [](CLI::App& cmd, Values& v) {
                     cmd.add_option("--log", v.protocol.logFile,
                                    "the protocol file (default: the running scheduler's; else "
                                    "the one in ~/.local/state/vektrin, else Vektrin.log here)");
                     addNumberOption(cmd, "-n,--lines", v.protocol.lastLines,
                                     "only the last N lines that pass the filters (0: none of "
                                     "the lines there are, with --follow only new ones)",
                                     0, 1 << 30);
                     addMomentOption(cmd, "--since", v.since,
                                     "only lines of this moment and later");
                     addMomentOption(cmd, "--until", v.until, "only lines before this moment");
                     cmd.add_option("--task", v.protocol.task,
                                    "only the lines about this AppName (with the launch error "
                                    "line that follows its \"Executes\" line)");
                     auto* follow = cmd.add_flag("-f,--follow", v.protocol.follow,
                                                 "Go on printing lines as they are written");
                     auto* all = cmd.add_flag("--all-hosts", v.protocol.allHosts,
                                              "Every workstation's lines from the database they "
                                              "share, in time order, each after its host")
                                     ->excludes(follow);
                     cmd.add_option("--host", v.protocol.host,
                                    "Only this workstation's lines from the database they share")
                         ->excludes(all)
                         ->excludes(follow);
                     cmd.add_flag("--json", v.protocol.json,
                                  "An array of objects {\"Moment\": \"YYYY-MM-DD HH:MM:SS\" or "
                                  "null, \"Line\": the line}; with --follow one object a line");
                 },
                 [](const Context& context, const Values& v) {
                     const DateTime now = context.now();
                     ProtocolOptions protocol = v.protocol;
                     if (!v.since.empty()) protocol.since = readMoment(v.since, now);
                     if (!v.until.empty()) protocol.until = readMoment(v.until, now);
                     return runProtocol(context, protocol);
                 })}};
}

} // namespace vektrin::ctl
