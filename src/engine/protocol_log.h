#pragma once
// The protocol file: one line per event, CR LF line ends, written through at once. The scheduler
// holds it with an exclusive lock, so two schedulers never share one log.

#include "platform/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace vektrin {

class ProtocolLog {
  public:
    // What the log keeps in memory while the file refuses lines.
    static constexpr std::size_t DefaultHeldBytes = 1 << 20;

    // stamp gives the date and time a line begins with, for the line that counts lost lines.
    explicit ProtocolLog(std::string path = "Vektrin.log", std::function<std::string()> stamp = {},
                         std::size_t heldBytes = DefaultHeldBytes)
        : path_(std::move(path)), stamp_(std::move(stamp)), heldLimit_(heldBytes) {}
    ~ProtocolLog() { close(); }
    ProtocolLog(const ProtocolLog&) = delete;
    ProtocolLog& operator=(const ProtocolLog&) = delete;

    // Opens for appending, creating the file when missing, and takes the lock. False when the file
    // cannot be opened or another process holds it; openError() tells which.
    bool open();
    // The errno of the last failed open: EWOULDBLOCK when another process holds the lock.
    int openError() const { return openError_; }
    void close();
    // Appends through fd from now on, in place of the file held so far: fd must be open for
    // appending on the file at path(), and locked, so that the log is never without its lock.
    void adopt(UniqueFd fd);
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    // The path from the root, as the operator is told it.
    std::string fullPath() const;

    // Appends text + CR LF after every line held back before it. A line reaches the file whole or
    // not at all; one the file refuses (a full disk) is held back in memory, in order, up to the
    // bound, and the lines beyond it are counted and said in one line where they are missing.
    void appendLine(std::string_view text);
    // Writes the lines held back; true when none is left.
    bool flush();
    // Whether lines are held back, why the file refused the last one, and how many lines it lacks.
    bool refusing() const { return !held_.empty(); }
    const std::string& refusal() const { return refusal_; }
    std::uint64_t unwritten() const;

  private:
    // A line, or in place of the lines that found no room, how many they were.
    struct Held {
        std::string line;
        std::uint64_t lost = 0;
    };
    // 0, or the errno of a failure that left the file as it was.
    int writeWhole(std::string_view text);
    void hold(std::string_view text);

    std::string path_;
    std::function<std::string()> stamp_;
    std::size_t heldLimit_;
    int fd_ = -1;
    int openError_ = 0;
    std::string buffer_;
    std::deque<Held> held_;
    std::size_t heldBytes_ = 0;
    std::string refusal_;
    long long tornAt_ = -1; // where a failed line began, while it could not be cut away
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
