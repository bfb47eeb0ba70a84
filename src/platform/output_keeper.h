#pragma once
// The keeper of a run file: it drains what a task prints from a pipe into the run file and keeps
// the file bounded at every moment. The file holds the first maxBytes/2 bytes of the run (the
// head); once bytes had to be left out, the marker line "... N bytes left out ..." after it; and
// after that a tail region. When the tail region would pass maxBytes + maxBytes/2 it is cut back
// to its last maxBytes/2 bytes, moved forward in place: the file never holds more than
// 2 * maxBytes plus the marker, and each byte reaches the disk at most about 1.5 times. At the end
// the tail region is cut back once more, so that an ended run keeps its first and last
// maxBytes/2 bytes.
//
// The keeper runs in a process forked from the scheduler (see process_posix.cpp), a child of a
// multi-threaded program: everything here is async-signal-safe, with no allocation, no locks and
// no stdio.

#include <cstddef>
#include <cstdint>

namespace vektrin {

// The longest marker line formatMarker writes.
constexpr std::size_t MarkerMax = 48;

// "... N bytes left out ...\n", with a line end before it when newlineFirst, into out (MarkerMax
// bytes at least). While the tail is being moved the marker's last byte is a blank instead, so
// that a reader can tell a cut under way. Returns the length.
std::size_t formatMarker(char* out, std::uint64_t leftOut, bool newlineFirst) noexcept;

class RunFileKeeper {
  public:
    // file: the empty run file, open for reading and writing. move: scratch space for moving the
    // tail forward.
    RunFileKeeper(int file, std::uint64_t maxBytes, char* move, std::size_t moveSize) noexcept;

    // What the task wrote next. Never fails: what the file refuses (a full disk) is counted as
    // left out, and the file keeps its head and a correct marker.
    void take(const char* data, std::size_t size) noexcept;
    // Every writer is gone: the ended run's shape.
    void finish() noexcept;

    std::uint64_t leftOut() const noexcept { return leftOut_; }
    // errno of the first write the file refused; 0 when none was.
    int error() const noexcept { return error_; }

  private:
    std::uint64_t end() const noexcept { return headLength_ + markerLength_ + tailLength_; }
    void cut(const char* data, std::size_t size) noexcept;
    bool move(std::uint64_t from, std::uint64_t to, std::uint64_t length) noexcept;
    void dropTail(std::uint64_t lost) noexcept;
    void failed(int error) noexcept;

    int file_;
    std::uint64_t head_;  // bytes the head holds when whole
    std::uint64_t tail_;  // bytes kept of the tail region at a cut
    std::uint64_t limit_; // the tail region's largest size
    char* move_;
    std::size_t moveSize_;

    std::uint64_t headLength_ = 0;
    bool headDone_ = false; // whole, or ended early by a write the file refused
    char headLast_ = '\n';
    std::uint64_t markerLength_ = 0; // 0: no marker in the file
    std::uint64_t tailLength_ = 0;
    std::uint64_t leftOut_ = 0;
    int error_ = 0;
};

// Reads in until every writer is gone, keeping file with a RunFileKeeper; buffer receives what is
// read. Returns the keeper's error().
int keepRunFile(int in, int file, std::uint64_t maxBytes, char* buffer, std::size_t size,
                char* move, std::size_t moveSize) noexcept;

} // namespace vektrin
