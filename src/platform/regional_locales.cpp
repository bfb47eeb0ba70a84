#include "platform/regional_locales.h"

#include "platform/regional.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vektrin {
namespace {

constexpr const char* DefaultLocaleDirectory = "/usr/lib/locale";

// What `locale -a` lists: the C library's own account of its archive and directories, whose
// format is its private business. False when the program cannot be run.
bool namesFromLocaleProgram(std::set<std::string>& names) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char program[] = "locale";
    char all[] = "-a";
    char* argv[] = {program, all, nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string text;
    if (spawned == 0) {
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(pipeFds[0]);
    if (spawned != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    for (std::size_t from = 0; from < text.size();) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        const std::string name = text.substr(from, end - from);
        // A name is never a path: nothing may lead the C library elsewhere.
        if (!name.empty() && name.find('/') == std::string::npos) names.insert(name);
        from = end + 1;
    }
    return true;
}

// Compiled locales kept as directories of category files (C.utf8 is one on Debian).
void namesInDirectory(const std::string& directory, std::set<std::string>& names) {
    DIR* d = ::opendir(directory.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.') continue;
        struct stat st {};
        if (::stat((directory + "/" + name + "/LC_TIME").c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.insert(name);
    }
    ::closedir(d);
}

bool readable(const std::string& format) {
    bool day = false, month = false, year = false;
    for (char c : format) {
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        day = day || lower == 'd';
        month = month || lower == 'm';
        year = year || lower == 'y';
    }
    return day && month && year;
}

std::vector<std::string> computePlatformShortDateFormats() {
    std::vector<std::string> formats;
    auto add = [&](const std::optional<std::string>& format) {
        if (format && readable(*format) &&
            std::find(formats.begin(), formats.end(), *format) == formats.end())
            formats.push_back(*format);
    };
    add(shortDateFormatOfLocale("C"));
    for (const std::string& name : installedLocaleNames())
        add(shortDateFormatOfLocale(name.c_str()));
    return formats;
}

} // namespace

std::vector<std::string> installedLocaleNames() {
    std::set<std::string> names;
    // As the C library itself does: $LOCPATH replaces the default place, archive included.
    const char* locpath = std::getenv("LOCPATH");
    if (locpath && *locpath) {
        std::string list = locpath;
        for (std::size_t from = 0; from <= list.size();) {
            std::size_t colon = list.find(':', from);
            if (colon == std::string::npos) colon = list.size();
            if (colon > from) namesInDirectory(list.substr(from, colon - from), names);
            from = colon + 1;
        }
    } else {
        if (!namesFromLocaleProgram(names)) namesInDirectory(DefaultLocaleDirectory, names);
    }
    names.erase("C");
    names.erase("POSIX");
    return {names.begin(), names.end()};
}

const std::vector<std::string>& platformShortDateFormats() {
    static const std::vector<std::string> formats = computePlatformShortDateFormats();
    return formats;
}

} // namespace vektrin
