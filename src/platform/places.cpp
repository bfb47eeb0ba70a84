#include "platform/places.h"

#include "platform/config_paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// Makes dir (mode 0700) when asked and missing, with its parents when asked; then refuses it
// unless only this user can reach into it.
std::string privateDirectory(const std::string& dir, bool create, bool parents) {
    if (create && parents)
        for (std::size_t slash = dir.find('/', 1); slash != std::string::npos;
             slash = dir.find('/', slash + 1))
            if (mkdir(dir.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST)
                throw PlaceError("Cannot make the directory " + dir.substr(0, slash) + ": " +
                                 std::strerror(errno));
    if (create) {
        if (mkdir(dir.c_str(), 0700) == 0)
            ::chmod(dir.c_str(), 0700); // whatever the umask took away
        else if (errno != EEXIST)
            throw PlaceError("Cannot make the directory " + dir + ": " + std::strerror(errno));
    }
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) {
        if (errno == ENOENT && !create) return dir;
        throw PlaceError("Cannot use the directory " + dir + ": " + std::strerror(errno));
    }
    if (S_ISLNK(st.st_mode))
        throw PlaceError("Cannot use " + dir + " for the control socket: it is a symbolic link");
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

} // namespace

std::string stateDirectory() {
    return stateHome() + "/vektrin";
}

std::string runtimeDirectory(bool create) {
    const std::string base = absoluteVariable("XDG_RUNTIME_DIR");
    return privateDirectory(base.empty() ? "/tmp/vektrin-" + std::to_string(getuid())
                                         : base + "/vektrin",
                            create, false);
}

std::string privateRuntimeDirectory(bool create) {
    return privateDirectory(stateDirectory() + "/run", create, true);
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

SocketAddress::SocketAddress(const std::string& path) {
    address_.sun_family = AF_UNIX;
    std::string reachable = path;
    if (path.size() > MaxSocketPath) {
        const auto slash = path.rfind('/');
        const std::string directory = slash == 0 ? "/" : path.substr(0, slash);
        directory_ = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (directory_ < 0)
            throw PlaceError("Cannot reach the socket " + path +
                             ": its directory: " + std::strerror(errno));
        reachable = "/proc/self/fd/" + std::to_string(directory_) + path.substr(slash);
    }
    if (reachable.size() > MaxSocketPath) {
        if (directory_ >= 0) ::close(directory_);
        throw PlaceError("The socket path " + path + " is longer than a socket address holds");
    }
    std::memcpy(address_.sun_path, reachable.c_str(), reachable.size() + 1);
}

SocketAddress::~SocketAddress() {
    if (directory_ >= 0) ::close(directory_);
}

std::optional<bool> lockedExclusively(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? std::optional(false) : std::nullopt;
    std::FILE* locks = std::fopen("/proc/locks", "re");
    if (!locks) return std::nullopt;
    // "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10953002 0 EOF": device in hex, inode in decimal.
    char line[256];
    bool held = false;
    while (!held && std::fgets(line, sizeof line, locks)) {
        char kind[16], mode[16], access[16];
        long pid = 0;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(line, "%*[^:]: %15s %15s %15s %ld %x:%x:%llu", kind, mode, access, &pid,
                        &major, &minor, &inode) == 7)
            held = std::strcmp(kind, "FLOCK") == 0 && std::strcmp(access, "WRITE") == 0 &&
                   major == ::major(st.st_dev) && minor == ::minor(st.st_dev) && inode == st.st_ino;
    }
    std::fclose(locks);
    return held;
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
