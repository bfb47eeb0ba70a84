#include "platform/run_output.h"

#include "platform/ini_file.h"
#include "platform/output_keeper.h"
#include "platform/places.h"
#include "platform/settings_store.h"
#include "platform/text.h"
#include "platform/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vektrin {
namespace {

std::string reason(int error) {
    return std::strerror(error);
}

// mkdir -p, each missing directory private to the user: what tasks print may be confidential.
int makeDirectories(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (int error = makeDirectories(path.substr(0, slash))) return error;
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    return 0;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<bool> parseSwitch(const std::string& text) {
    const std::string t = text::lower(text::trimmed(text, " \t\r\n"));
    if (t == "true" || t == "yes" || t == "on" || t == "1") return true;
    if (t == "false" || t == "no" || t == "off" || t == "0") return false;
    return std::nullopt;
}

// A whole number, optionally followed by K, M or G (binary multiples).
std::optional<std::uint64_t> parseBytes(const std::string& text) {
    const std::string t = text::lower(text::trimmed(text, " \t\r\n"));
    std::size_t digits = 0;
    while (digits < t.size() && t[digits] >= '0' && t[digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 19) return std::nullopt;
    std::uint64_t value = std::strtoull(t.substr(0, digits).c_str(), nullptr, 10);
    const std::string suffix = t.substr(digits);
    int shift = 0;
    if (suffix == "k" || suffix == "kib")
        shift = 10;
    else if (suffix == "m" || suffix == "mib")
        shift = 20;
    else if (suffix == "g" || suffix == "gib")
        shift = 30;
    else if (!suffix.empty())
        return std::nullopt;
    if (value > (UINT64_MAX >> shift)) return std::nullopt;
    return value << shift;
}

std::optional<int> parseCount(const std::string& text) {
    const std::string t(text::trimmed(text, " \t\r\n"));
    if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(t);
}

// "20261207-100030" or "20261207-100030-2": the start and the sequence number.
bool parseStem(std::string_view stem, DateTime& start, int& sequence) {
    if (stem.size() < 15 || stem[8] != '-') return false;
    int parts[6] = {};
    static constexpr int at[6][2] = {{0, 4}, {4, 2}, {6, 2}, {9, 2}, {11, 2}, {13, 2}};
    for (int i = 0; i < 6; ++i) {
        for (int k = 0; k < at[i][1]; ++k) {
            const char c = stem[static_cast<std::size_t>(at[i][0] + k)];
            if (c < '0' || c > '9') return false;
            parts[i] = parts[i] * 10 + (c - '0');
        }
    }
    sequence = 1;
    if (stem.size() > 15) {
        const std::string_view rest = stem.substr(15);
        if (rest.size() < 2 || rest.size() > 7 || rest[0] != '-' || rest[1] == '0') return false;
        sequence = 0;
        for (char c : rest.substr(1)) {
            if (c < '0' || c > '9') return false;
            sequence = sequence * 10 + (c - '0');
        }
        if (sequence < 2) return false;
    }
    const auto date = tryEncodeDate(parts[0], parts[1], parts[2]);
    const auto time = tryEncodeTime(parts[3], parts[4], parts[5]);
    if (!date || !time) return false;
    start = *date + *time;
    return true;
}

bool removeFile(const std::string& path, std::vector<std::string>& problems) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    problems.push_back("Cannot remove " + path + ": " + reason(errno));
    return false;
}

struct DirEntries {
    std::vector<std::string> names;
    int error = 0;
};

DirEntries readDirectory(const std::string& path) {
    DirEntries result;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        result.error = errno;
        return result;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") result.names.emplace_back(name);
    }
    ::closedir(dir);
    return result;
}

// Left beside runs by earlier versions (a capping or an end record that a crash interrupted).
constexpr std::string_view CapSuffix = ".log.cap";

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// The .end file's size from the run's start on: room for the end written over it in place.
constexpr std::size_t EndFileSize = 128;

std::string endPathOf(const std::string& runFile) {
    std::string path = runFile;
    if (endsWith(path, ".log")) path.resize(path.size() - 4);
    return path + ".end";
}

// "head=N" and line ends: a run going on, whose keeper puts its marker line at offset N.
std::string reserveRunEnd(const std::string& runFile, std::uint64_t head) {
    const std::string path = endPathOf(runFile);
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    std::string text = "head=" + std::to_string(head) + "\n";
    text.resize(EndFileSize, '\n');
    if (fd.get() >= 0 && writeAll(fd.get(), text.data(), text.size())) return {};
    const int error = errno;
    ::unlink(path.c_str());
    return (fd.get() < 0 ? "cannot create " : "cannot write ") + path + ": " + reason(error);
}

// The runs this process made and has not closed off with their end, each held open (and so
// held, holdRunFile): between its keeper's end and the record of its end a run still goes on as
// long as its scheduler lives. The descriptors go with a killed scheduler.
class MadeRuns {
  public:
    void add(std::string path, UniqueFd file) {
        const std::lock_guard lock(mutex_);
        // Runs whose files went without an end (a launch that failed) are let go here.
        std::erase_if(held_, [](const auto& run) {
            struct stat st {};
            return ::fstat(run.second.get(), &st) != 0 || st.st_nlink == 0;
        });
        held_.emplace_back(std::move(path), std::move(file));
    }
    void release(const std::string& path) {
        const std::lock_guard lock(mutex_);
        std::erase_if(held_, [&](const auto& run) { return run.first == path; });
    }

  private:
    std::mutex mutex_;
    std::vector<std::pair<std::string, UniqueFd>> held_;
};

MadeRuns& madeRuns() {
    static MadeRuns runs;
    return runs;
}

} // namespace

void holdRunFile(int fd) noexcept {
    struct flock lock {};
    lock.l_type = F_RDLCK; // shared: the scheduler and the keeper hold it together
    lock.l_whence = SEEK_SET;
    ::fcntl(fd, F_OFD_SETLK, &lock);
}

bool runGoesOn(const std::string& runFile) {
    UniqueFd fd(::open(runFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) return errno != ENOENT;
    // Asked without taking a lock, so that no holder is ever kept from taking its own.
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    if (::fcntl(fd.get(), F_OFD_GETLK, &probe) != 0) return true;
    return probe.l_type != F_UNLCK;
}

std::string defaultOutputRoot() {
    return places::stateDirectory() + "/output";
}

OutputSettings readOutputSettings(const SettingsStore& settings,
                                  std::vector<std::string>& problems) {
    OutputSettings result;
    try {
        const auto values = settings.read({{"Output", "Capture"},
                                           {"Output", "MaxBytes"},
                                           {"Output", "KeepRuns"},
                                           {"Notify", "OnFailure"}});
        // A value that does not read is named with what is used instead.
        const auto take = [&](std::size_t at, const char* setting, auto parsed, auto& into,
                              const std::string& refusal) {
            if (!values[at]) return;
            if (const auto v = parsed(*values[at]))
                into = *v;
            else
                problems.push_back("The setting " + std::string(setting) + "=\"" + *values[at] +
                                   "\" " + refusal);
        };
        const auto onOff = [](const std::string& v) { return parseSwitch(v); };
        const auto positive = [](auto parse) {
            return [parse](const std::string& v) {
                const auto n = parse(v);
                return n && *n > 0 ? n : std::nullopt;
            };
        };
        const std::string neither = "is neither true nor false; true is used.";
        take(0, "[Output] Capture", onOff, result.capture, neither);
        take(1, "[Output] MaxBytes", positive(parseBytes), result.maxBytes,
             "is not a size in bytes (such as 1048576 or 1M); " +
                 std::to_string(OutputSettings::DefaultMaxBytes) + " is used.");
        take(2, "[Output] KeepRuns", positive(parseCount), result.keepRuns,
             "is not a number of runs from 1 on; " +
                 std::to_string(OutputSettings::DefaultKeepRuns) + " is used.");
        take(3, "[Notify] OnFailure", onOff, result.notifyOnFailure, neither);
    } catch (const ConfigFileError& e) {
        problems.push_back(std::string(e.what()) + "; the output settings' defaults are used.");
    }
    return result;
}

std::string runStamp(DateTime moment) {
    const DateParts d = decodeDate(moment);
    const TimeParts t = decodeTime(moment);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", d.year, d.month, d.day, t.hour,
                  t.minute, t.second);
    return text;
}

std::string taskOutputDirectory(const std::string& root, std::int32_t appId) {
    return root + "/" + std::to_string(appId);
}

NewRunFile createRunFile(const std::string& root, std::int32_t appId, DateTime start,
                         std::uint64_t maxBytes, std::uint64_t minimumFree) {
    NewRunFile result;
    const std::string dir = taskOutputDirectory(root, appId);
    if (int error = makeDirectories(dir)) {
        result.error = "cannot create the directory " + dir + ": " + reason(error);
        return result;
    }
    struct statvfs fs {};
    if (minimumFree > 0 && ::statvfs(dir.c_str(), &fs) == 0) {
        const std::uint64_t free = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
        if (free < minimumFree) {
            result.error = "the file system of " + dir + " has " + std::to_string(free) +
                           " bytes free, less than [Output] MaxBytes (" +
                           std::to_string(minimumFree) + ")";
            return result;
        }
    }
    const std::string stamp = runStamp(start);
    for (int sequence = 1; sequence < 10000; ++sequence) {
        std::string path = dir + "/" + stamp;
        if (sequence > 1) path.append("-").append(std::to_string(sequence));
        path += ".log";
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd.get() >= 0) {
            holdRunFile(fd.get());
            if (std::string error = reserveRunEnd(path, maxBytes / 2); !error.empty()) {
                ::unlink(path.c_str());
                result.error = std::move(error);
                return result;
            }
            madeRuns().add(path, std::move(fd));
            result.path = std::move(path);
            return result;
        }
        if (errno != EEXIST) {
            result.error = "cannot create " + path + ": " + reason(errno);
            return result;
        }
    }
    result.error = "cannot create a run file in " + dir + ": too many runs in one second";
    return result;
}

std::string runEndPath(const std::string& runFile) {
    return endPathOf(runFile);
}

std::string recordRunEnd(const std::string& runFile, const RunEnd& end) {
    // Once the end is written, or cannot be: nobody else will write it.
    struct Release {
        const std::string& path;
        ~Release() { madeRuns().release(path); }
    } release{runFile};
    std::string text = "code=" + std::to_string(end.endCode) + "\n";
    if (end.exitCode) text += "exit=" + std::to_string(*end.exitCode) + "\n";
    text += "end=" + text::isoStamp(end.end) + "\n";
    const std::string path = runEndPath(runFile);
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    if (fd.get() < 0) return "cannot open " + path + ": " + reason(errno);
    struct stat st {};
    // Over the whole reservation, so that nothing of it is left to be read as part of the end.
    if (::fstat(fd.get(), &st) == 0 && st.st_size > 0 &&
        static_cast<std::uint64_t>(st.st_size) <= EndFileSize)
        text.resize(std::max(text.size(), static_cast<std::size_t>(st.st_size)), '\n');
    if (!writeAll(fd.get(), text.data(), text.size()))
        return "cannot write " + path + ": " + reason(errno);
    return {};
}

std::optional<RunEnd> readRunEnd(const std::string& runFile) {
    UniqueFd fd(::open(runEndPath(runFile).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    char buffer[512];
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer - 1);
    if (n <= 0) return std::nullopt;
    RunEnd end;
    bool haveEnd = false;
    bool haveCode = false;
    std::string_view text(buffer, static_cast<std::size_t>(n));
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, eq);
        const std::string value(line.substr(eq + 1));
        if (key == "end") {
            // Whole, or the end is still being written.
            if (auto moment = value.size() == 19 ? parseMoment(value) : std::nullopt) {
                end.end = *moment;
                haveEnd = true;
            }
        } else if (key == "code") {
            if (auto code = parseCount(value)) {
                end.endCode = *code;
                haveCode = true;
            }
        } else if (key == "exit") {
            char* stop = nullptr;
            const long exit = std::strtol(value.c_str(), &stop, 10);
            if (!value.empty() && *stop == '\0') end.exitCode = static_cast<int>(exit);
        }
    }
    if (!haveEnd || !haveCode) return std::nullopt;
    return end;
}

std::optional<std::uint64_t> runHead(const std::string& runFile) {
    UniqueFd fd(::open(runEndPath(runFile).c_str(), O_RDONLY | O_CLOEXEC));
    char buffer[EndFileSize + 1];
    const ssize_t n = fd.get() < 0 ? -1 : ::read(fd.get(), buffer, sizeof buffer - 1);
    if (n <= 0) return std::nullopt;
    const std::string_view text(buffer, static_cast<std::size_t>(n));
    if (!text.starts_with("head=")) return std::nullopt;
    const std::string digits(text.substr(5, text.find('\n') - 5));
    if (digits.empty() || digits.size() > 19 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::strtoull(digits.c_str(), nullptr, 10);
}

std::vector<RunInfo> listRuns(const std::string& root, std::int32_t appId) {
    if (root.empty()) return {};
    const std::string dir = taskOutputDirectory(root, appId);
    DirEntries entries = readDirectory(dir);
    if (entries.error == ENOENT) return {};
    if (entries.error)
        throw std::runtime_error("Cannot read the directory " + dir + ": " + reason(entries.error));
    std::vector<RunInfo> runs;
    for (const std::string& name : entries.names) {
        if (!endsWith(name, ".log")) continue;
        RunInfo run;
        run.stem = name.substr(0, name.size() - 4);
        if (!parseStem(run.stem, run.start, run.sequence)) continue;
        run.path = dir + "/" + name;
        struct stat st {};
        if (::stat(run.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        run.size = static_cast<std::uint64_t>(st.st_size);
        run.end = readRunEnd(run.path);
        if (!run.end) {
            run.goesOn = runGoesOn(run.path);
            // Its last holder may have recorded the end and let go since it was read.
            if (!run.goesOn) run.end = readRunEnd(run.path);
        }
        runs.push_back(std::move(run));
    }
    std::sort(runs.begin(), runs.end(), [](const RunInfo& a, const RunInfo& b) {
        const std::string_view sa = std::string_view(a.stem).substr(0, 15);
        const std::string_view sb = std::string_view(b.stem).substr(0, 15);
        if (sa != sb) return sa > sb;
        return a.sequence > b.sequence;
    });
    return runs;
}

bool hasRuns(const std::string& root, std::int32_t appId) {
    if (root.empty()) return false;
    const DirEntries entries = readDirectory(taskOutputDirectory(root, appId));
    DateTime start = 0;
    int sequence = 0;
    for (const std::string& name : entries.names)
        if (endsWith(name, ".log") &&
            parseStem(std::string_view(name).substr(0, name.size() - 4), start, sequence))
            return true;
    return false;
}

std::string leftOutLine(std::uint64_t bytes) {
    char line[MarkerMax];
    return std::string(line, formatMarker(line, bytes, false));
}

MarkerAt readMarker(int fd, std::uint64_t at) {
    MarkerAt found;
    char buffer[MarkerMax];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(at));
    if (n <= 0) return found;
    std::string_view text(buffer, static_cast<std::size_t>(n));
    std::size_t length = 0;
    if (text.starts_with('\n')) length = 1;
    if (!text.substr(length).starts_with("... ")) return found;
    length += 4;
    const std::size_t digits = length;
    std::uint64_t leftOut = 0;
    while (length < text.size() && length - digits < 19 && text[length] >= '0' &&
           text[length] <= '9')
        leftOut = leftOut * 10 + static_cast<std::uint64_t>(text[length++] - '0');
    constexpr std::string_view rest = " bytes left out ...";
    if (length == digits || !text.substr(length).starts_with(rest) ||
        length + rest.size() >= text.size())
        return found;
    length += rest.size();
    const char last = text[length++];
    if (last == '\n')
        found.kind = MarkerAt::Marker;
    else if (last == ' ')
        found.kind = MarkerAt::Busy;
    else
        return found;
    found.leftOut = leftOut;
    found.end = at + length;
    return found;
}

std::vector<std::string> removeOldRuns(const std::string& root, std::int32_t appId, int keep,
                                       const std::vector<std::string>& live) {
    std::vector<std::string> problems;
    std::vector<RunInfo> runs;
    try {
        runs = listRuns(root, appId);
    } catch (const std::exception& e) {
        problems.emplace_back(e.what());
        return problems;
    }
    for (std::size_t i = static_cast<std::size_t>(std::max(keep, 0)); i < runs.size(); ++i) {
        if (std::find(live.begin(), live.end(), runs[i].path) != live.end()) continue;
        if (removeFile(runs[i].path, problems)) removeFile(runEndPath(runs[i].path), problems);
    }
    return problems;
}

std::vector<std::string> removeTaskRuns(const std::string& root, std::int32_t appId) {
    std::vector<std::string> problems;
    if (root.empty()) return problems;
    const std::string dir = taskOutputDirectory(root, appId);
    const DirEntries entries = readDirectory(dir);
    if (entries.error == ENOENT) return problems;
    if (entries.error) {
        problems.push_back("Cannot read the directory " + dir + ": " + reason(entries.error));
        return problems;
    }
    bool others = false;
    for (const std::string& name : entries.names) {
        DateTime start = 0;
        int sequence = 0;
        std::string_view stem = name;
        for (std::string_view suffix : {std::string_view(".log"), std::string_view(".end"),
                                        std::string_view(".end.tmp"), CapSuffix}) {
            if (endsWith(name, suffix)) {
                stem = std::string_view(name).substr(0, name.size() - suffix.size());
                break;
            }
        }
        if (stem.size() == name.size() || !parseStem(stem, start, sequence)) {
            others = true;
            continue;
        }
        removeFile(dir + "/" + name, problems);
    }
    if (!others && problems.empty() && ::rmdir(dir.c_str()) != 0 && errno != ENOENT)
        problems.push_back("Cannot remove the directory " + dir + ": " + reason(errno));
    return problems;
}

std::vector<std::int32_t> tasksWithRuns(const std::string& root) {
    std::vector<std::int32_t> ids;
    if (root.empty()) return ids;
    for (const std::string& name : readDirectory(root).names) {
        if (name.empty() || name.size() > 10 ||
            name.find_first_not_of("0123456789") != std::string::npos || name[0] == '0')
            continue;
        const long long id = std::stoll(name);
        if (id > INT32_MAX) continue;
        struct stat st {};
        if (::stat((root + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            ids.push_back(static_cast<std::int32_t>(id));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::string lastOutputLine(const std::string& runFile, int maxCharacters) {
    UniqueFd fd(::open(runFile.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return {};
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return {};
    constexpr std::uint64_t Window = 1 << 16;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t from = size > Window ? size - Window : 0;
    std::string text(static_cast<std::size_t>(size - from), '\0');
    const ssize_t n = ::pread(fd.get(), text.data(), text.size(), static_cast<off_t>(from));
    if (n <= 0) return {};
    text.resize(static_cast<std::size_t>(n));
    std::size_t end = text.size();
    while (end > 0) {
        const std::size_t start = text.rfind('\n', end - 1);
        const std::size_t first = start == std::string::npos ? 0 : start + 1;
        std::string line(
            text::trimmed(std::string_view(text).substr(first, end - first), " \t\r\n"));
        if (!line.empty()) {
            // At most maxCharacters UTF-8 characters; a continuation byte never starts one.
            int characters = 0;
            for (std::size_t i = 0; i < line.size(); ++i) {
                if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;
                if (++characters > maxCharacters) {
                    line.resize(i);
                    break;
                }
            }
            return line;
        }
        if (start == std::string::npos) break;
        end = start;
    }
    return {};
}

} // namespace vektrin
