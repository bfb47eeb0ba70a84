#include "platform/config_paths.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {
namespace {

bool isAbsolute(std::string_view dir) {
    return !dir.empty() && dir.front() == '/';
}

std::string joined(std::string dir, std::string_view file) {
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (dir != "/") dir += '/';
    dir += "vektrin/";
    dir += file;
    return dir;
}

} // namespace

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); isAbsolute(home ? home : "")) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

namespace {

std::string baseDirectory(const char* variable, const char* underHome) {
    if (const char* value = std::getenv(variable); isAbsolute(value ? value : "")) {
        std::string dir = value;
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        return dir;
    }
    return homeDirectory() + underHome;
}

} // namespace

std::string stateHome() {
    return baseDirectory("XDG_STATE_HOME", "/.local/state");
}

std::string dataHome() {
    return baseDirectory("XDG_DATA_HOME", "/.local/share");
}

std::vector<std::string> configFileCandidates(std::string_view file) {
    std::vector<std::string> candidates;
    const char* home = std::getenv("XDG_CONFIG_HOME");
    candidates.push_back(
        joined(home && isAbsolute(home) ? std::string(home) : homeDirectory() + "/.config", file));
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    const std::string_view list = dirs && *dirs ? dirs : "/etc/xdg";
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string_view::npos) end = list.size();
        const std::string_view dir = list.substr(start, end - start);
        start = end + 1;
        if (!isAbsolute(dir)) continue;
        std::string candidate = joined(std::string(dir), file);
        bool seen = false;
        for (const auto& c : candidates)
            seen = seen || c == candidate;
        if (!seen) candidates.push_back(std::move(candidate));
    }
    return candidates;
}

std::string firstPresentConfigFile(const std::vector<std::string>& candidates) {
    for (const auto& candidate : candidates) {
        struct stat st {};
        // Only "nothing there" passes on to the next place; a directory that may not be looked
        // into hides a file the operator may well have meant.
        if (lstat(candidate.c_str(), &st) == 0 || errno != ENOENT) return candidate;
    }
    return {};
}

} // namespace vektrin
