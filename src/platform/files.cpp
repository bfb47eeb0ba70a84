#include "platform/files.h"

#include <algorithm>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace vektrin {
namespace {

struct SplitPath {
    bool absolute = false;
    std::vector<std::string> components; // empty ones dropped
    bool trailingSeparator = false;
};

// Empty for a text that cannot name a Linux path at all.
std::optional<SplitPath> splitPath(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
    const bool drivePrefix =
        path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (drivePrefix) return std::nullopt;
    SplitPath out;
    auto isSeparator = [](char c) { return c == '/' || c == '\\'; };
    out.absolute = isSeparator(path.front());
    out.trailingSeparator = isSeparator(path.back());
    std::string current;
    for (char c : path) {
        if (isSeparator(c)) {
            if (!current.empty()) out.components.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) out.components.push_back(std::move(current));
    return out;
}

std::string join(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    if (directory.back() == '/') return directory + name;
    return directory + '/' + name;
}

const char* openable(const std::string& directory) {
    return directory.empty() ? "." : directory.c_str();
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

class DirectoryReader {
  public:
    explicit DirectoryReader(const std::string& directory) : dir_(opendir(openable(directory))) {}
    ~DirectoryReader() {
        if (dir_) closedir(dir_);
    }
    DirectoryReader(const DirectoryReader&) = delete;
    DirectoryReader& operator=(const DirectoryReader&) = delete;

    DIR* get() const { return dir_; }
    // Next name other than "." and ".."; nullptr at the end.
    const char* next() {
        if (!dir_) return nullptr;
        while (const dirent* e = readdir(dir_)) {
            const std::string_view n = e->d_name;
            if (n != "." && n != "..") return e->d_name;
        }
        return nullptr;
    }

  private:
    DIR* dir_;
};

// The name in `directory` that `component` denotes: itself when it exists, else the smallest
// name that differs from it in case only.
std::optional<std::string> resolveComponent(const std::string& directory,
                                            const std::string& component) {
    struct stat st {};
    if (component == "." || component == ".." || stat(join(directory, component).c_str(), &st) == 0)
        return component;
    std::optional<std::string> best;
    DirectoryReader reader(directory);
    while (const char* name = reader.next())
        if (equalsIgnoringCase(name, component) && (!best || *best > name)) best = name;
    return best;
}

std::optional<std::string>
resolveComponents(bool absolute, const std::vector<std::string>& components, std::size_t count) {
    std::string current = absolute ? "/" : "";
    for (std::size_t i = 0; i < count; ++i) {
        auto name = resolveComponent(current, components[i]);
        if (!name) return std::nullopt;
        current = join(current, *name);
    }
    return current;
}

// Wildcards as the file search knows them: "*" and "?" only, "*.*" for every name.
std::string fnmatchPattern(std::string_view last) {
    if (last == "*.*") return "*";
    std::string out;
    for (char c : last) {
        if (c == '[' || c == ']') out += '\\';
        out += c;
    }
    return out;
}

// A pattern that can find something: directory components, then the name pattern.
std::optional<SplitPath> searchable(std::string_view pattern) {
    auto split = splitPath(pattern);
    if (!split || split->trailingSeparator || split->components.empty()) return std::nullopt;
    return split;
}

} // namespace

std::vector<FoundEntry> findFiles(std::string_view pattern) {
    std::vector<FoundEntry> found;
    const auto split = searchable(pattern);
    if (!split) return found;
    const auto& components = split->components;
    const auto directory = resolveComponents(split->absolute, components, components.size() - 1);
    if (!directory) return found;
    const std::string wanted = fnmatchPattern(components.back());

    DirectoryReader reader(*directory);
    if (!reader.get()) return found;
    const int dirFd = dirfd(reader.get());
    while (const char* name = reader.next()) {
        if (fnmatch(wanted.c_str(), name, FNM_CASEFOLD) != 0) continue;
        struct stat st {};
        // A dangling link is still an entry of the directory; one that vanished is not.
        if (fstatat(dirFd, name, &st, 0) != 0 &&
            fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        FoundEntry e;
        e.name = name;
        e.directory = S_ISDIR(st.st_mode);
        e.size = static_cast<std::uint64_t>(st.st_size);
        e.mtimeSeconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
        found.push_back(std::move(e));
    }
    std::sort(found.begin(), found.end(),
              [](const FoundEntry& a, const FoundEntry& b) { return a.name < b.name; });
    return found;
}

std::optional<std::string> searchKey(std::string_view pattern) {
    const auto split = searchable(pattern);
    if (!split) return std::nullopt;
    std::string key = split->absolute ? "/" : "";
    for (std::size_t i = 0; i < split->components.size(); ++i) {
        if (i > 0) key += '/';
        key += split->components[i];
    }
    return key;
}

std::optional<std::string> resolvePath(std::string_view path) {
    const auto split = splitPath(path);
    if (!split) return std::nullopt;
    auto resolved = resolveComponents(split->absolute, split->components, split->components.size());
    struct stat st {};
    if (!resolved) return std::nullopt;
    if (stat(resolved->c_str(), &st) != 0) return std::nullopt;
    return resolved;
}

DiskSpace diskSpace(std::string_view path) {
    const auto resolved = resolvePath(path);
    struct statvfs vfs {};
    if (!resolved || statvfs(resolved->c_str(), &vfs) != 0) return {};
    auto bytes = [](unsigned long long blocks, unsigned long long blockSize) {
        const unsigned long long limit = static_cast<unsigned long long>(INT64_MAX);
        if (blockSize != 0 && blocks > limit / blockSize) return INT64_MAX;
        return static_cast<std::int64_t>(blocks * blockSize);
    };
    return DiskSpace{bytes(vfs.f_bavail, vfs.f_frsize), bytes(vfs.f_blocks, vfs.f_frsize)};
}

std::optional<DateTime> dosLocalDateTime(std::int64_t unixSeconds) {
    const time_t t = static_cast<time_t>(unixSeconds);
    struct tm local {};
    if (!localtime_r(&t, &local)) return std::nullopt;
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) return std::nullopt;
    const int second = std::min(local.tm_sec, 59) & ~1;
    const auto date = tryEncodeDate(year, local.tm_mon + 1, local.tm_mday);
    const auto time = tryEncodeTime(local.tm_hour, local.tm_min, second);
    if (!date || !time) return std::nullopt;
    return *date + *time;
}

} // namespace vektrin
