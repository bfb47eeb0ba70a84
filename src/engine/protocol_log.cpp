#include "engine/protocol_log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {

void UniqueFd::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool ProtocolLog::open() {
    if (fd_ >= 0) return true;
    // The lock belongs to a file, not to its name. The scheduler that holds the log renames a
    // shortened copy over it when it clears it and then lets the old file go: a lock taken on that
    // old file would guard a file nobody writes, so it counts only while the name still leads to
    // it. The next try meets the new file, which was locked before it got the name.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::stat(path_.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            fd_ = fd;
            return true;
        }
        ::close(fd);
    }
    return false;
}

void ProtocolLog::adopt(UniqueFd fd) {
    close();
    fd_ = fd.release();
}

void ProtocolLog::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void ProtocolLog::appendLine(std::string_view text) {
    if (fd_ < 0)
        throw ProtocolWriteError("I/O error 103: the protocol file " + path_ + " is not open");
    buffer_.assign(text);
    buffer_ += "\r\n";
    const char* p = buffer_.data();
    size_t left = buffer_.size();
    while (left > 0) {
        ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ProtocolWriteError("I/O error writing " + path_ + ": " + std::strerror(errno));
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

FileLock::FileLock(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

} // namespace vektrin
