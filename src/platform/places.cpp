#include "platform/places.h"

#include "platform/config_paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin::places {
namespace {

// An absolute directory from the variable, else nothing (the base directory rules ignore
// relative ones).
std::string absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value && *value == '/' ? std::string(value) : std::string();
}

std::string modeText(mode_t mode) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04o", static_cast<unsigned>(mode & 07777));
    return buffer;
}

} // namespace

std::string stateDirectory() {
    return stateHome() + "/vektrin";
}

std::string runtimeDirectory(bool create) {
    const std::string base = absoluteVariable("XDG_RUNTIME_DIR");
    const std::string dir =
        base.empty() ? "/tmp/vektrin-" + std::to_string(getuid()) : base + "/vektrin";
    if (create && mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw PlaceError("Cannot make the directory " + dir + ": " + std::strerror(errno));
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) {
        if (errno == ENOENT && !create) return dir;
        throw PlaceError("Cannot use the directory " + dir + ": " + std::strerror(errno));
    }
    if (!S_ISDIR(st.st_mode))
        throw PlaceError("Cannot use " + dir + " for the control socket: it is not a directory");
    if (st.st_uid != getuid())
        throw PlaceError("Cannot use the directory " + dir +
                         " for the control socket: it belongs to "
                         "user " +
                         std::to_string(st.st_uid) + ", not to user " + std::to_string(getuid()));
    if ((st.st_mode & 07777) != 0700)
        throw PlaceError("Cannot use the directory " + dir +
                         " for the control socket: its mode is " + modeText(st.st_mode) +
                         ", not 0700");
    return dir;
}

std::string schedulerKey(const std::string& tableDirectory) {
    std::string canonical = tableDirectory;
    if (char* resolved = realpath(tableDirectory.c_str(), nullptr)) {
        canonical = resolved;
        std::free(resolved);
    }
    while (canonical.size() > 1 && canonical.back() == '/')
        canonical.pop_back();
    // FNV-1a: the same key from both programs, on every machine.
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : canonical) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(hash));
    return std::string(buffer, 12);
}

std::string stateFilePath(const std::string& runtimeDirectory, const std::string& key) {
    return runtimeDirectory + "/" + key + ".json";
}

std::string socketPath(const std::string& runtimeDirectory, const std::string& key) {
    return runtimeDirectory + "/" + key + ".sock";
}

void writeFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    const auto fail = [&](const std::string& what) {
        const std::string reason = std::strerror(errno);
        ::unlink(temporary.c_str());
        throw PlaceError("Cannot " + what + " " + path + ": " + reason);
    };
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) fail("write");
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            fail("write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) fail("write");
    if (::rename(temporary.c_str(), path.c_str()) != 0) fail("replace");
}

} // namespace vektrin::places
