#include "engine/protocol_log.h"

#include "platform/strings.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {

bool ProtocolLog::open() {
    if (fd_ >= 0) return true;
    // The lock belongs to a file, not to its name. The scheduler that holds the log renames a
    // shortened copy over it when it clears it and then lets the old file go: a lock taken on that
    // old file would guard a file nobody writes, so it counts only while the name still leads to
    // it. The next try meets the new file, which was locked before it got the name. A new log is
    // its owner's alone: it names the tasks and what they failed with.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            openError_ = errno;
            return false;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            openError_ = errno;
            ::close(fd);
            return false;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::stat(path_.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            fd_ = fd;
            openError_ = 0;
            return true;
        }
        ::close(fd);
    }
    openError_ = EWOULDBLOCK;
    return false;
}

std::string ProtocolLog::fullPath() const {
    if (!path_.empty() && path_.front() == '/') return path_;
    char here[4096];
    return ::getcwd(here, sizeof here) ? std::string(here) + "/" + path_ : path_;
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
    tornAt_ = -1;
}

int ProtocolLog::writeWhole(std::string_view text) {
    if (fd_ < 0) return EBADF;
    // A line the file took only in part is cut away again, so that no torn line stays between
    // whole ones; the scheduler alone writes the log it holds locked, so its end is ours.
    if (tornAt_ >= 0) {
        if (::ftruncate(fd_, tornAt_) != 0) return errno;
        tornAt_ = -1;
    }
    buffer_.assign(text);
    buffer_ += "\r\n";
    for (size_t done = 0; done < buffer_.size();) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        const int error = n < 0 ? errno : ENOSPC;
        // Appended at the end: the line began done bytes before where the file ends now.
        struct stat st {};
        if (done > 0 && ::fstat(fd_, &st) == 0) tornAt_ = st.st_size - static_cast<off_t>(done);
        if (tornAt_ >= 0 && ::ftruncate(fd_, tornAt_) == 0) tornAt_ = -1;
        return error;
    }
    return 0;
}

void ProtocolLog::hold(std::string_view text) {
    if (heldBytes_ + text.size() <= heldLimit_) {
        held_.push_back({std::string(text), 0});
        heldBytes_ += text.size();
    } else if (!held_.empty() && held_.back().lost > 0) {
        ++held_.back().lost;
    } else {
        held_.push_back({{}, 1});
    }
}

bool ProtocolLog::flush() {
    while (!held_.empty()) {
        Held& next = held_.front();
        const std::string text =
            next.lost == 0 ? next.line
                           : (stamp_ ? stamp_() : std::string()) +
                                 str::fill(str::ProtocolLinesLost, {std::to_string(next.lost)});
        if (const int error = writeWhole(text); error != 0) {
            refusal_ = std::strerror(error);
            return false;
        }
        heldBytes_ -= next.line.size();
        held_.pop_front();
    }
    return true;
}

void ProtocolLog::appendLine(std::string_view text) {
    if (flush()) {
        const int error = writeWhole(text);
        if (error == 0) return;
        refusal_ = std::strerror(error);
    }
    hold(text);
}

std::uint64_t ProtocolLog::unwritten() const {
    std::uint64_t lines = 0;
    for (const Held& h : held_)
        lines += h.lost == 0 ? 1 : h.lost;
    return lines;
}

FileLock::FileLock(const std::string& path) {
    // The lock of the tables makes the task file when there is none: its owner's alone, as the
    // store makes the others.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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
