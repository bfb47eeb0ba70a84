#pragma once
// The protocol file: one line per event, CR LF line ends, written through at once. The scheduler
// holds it with an exclusive lock, so two schedulers never share one log.

#include <stdexcept>
#include <string>
#include <string_view>

namespace vektrin {

class ProtocolWriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Owns one open file descriptor.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset();

  private:
    int fd_ = -1;
};

class ProtocolLog {
  public:
    explicit ProtocolLog(std::string path = "Vektrin.log") : path_(std::move(path)) {}
    ~ProtocolLog() { close(); }
    ProtocolLog(const ProtocolLog&) = delete;
    ProtocolLog& operator=(const ProtocolLog&) = delete;

    // Opens for appending, creating the file when missing, and takes the lock. False when the file
    // cannot be opened or another process holds it.
    bool open();
    void close();
    // Appends through fd from now on, in place of the file held so far: fd must be open for
    // appending on the file at path(), and locked, so that the log is never without its lock.
    void adopt(UniqueFd fd);
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Appends text + CR LF with one write; throws ProtocolWriteError on failure.
    void appendLine(std::string_view text);

  private:
    std::string path_;
    int fd_ = -1;
    std::string buffer_;
};

// An exclusive, non-blocking lock on a file kept for the life of the object (the task table of an
// alias directory, so that two schedulers never work on the same tables).
class FileLock {
  public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

} // namespace vektrin
