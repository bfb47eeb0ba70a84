#include "platform/output_keeper.h"

#include <cerrno>
#include <unistd.h>

namespace vektrin {
namespace {

// All `size` bytes at offset `at` through pread or pwrite, again after EINTR and short counts;
// the bytes moved, short when the file would give or take no more (errno says why: `atEnd` when
// it simply ended).
template <typename Buffer, typename Io>
std::size_t transferAt(Io io, int fd, Buffer data, std::size_t size, std::uint64_t at,
                       int atEnd) noexcept {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = io(fd, data + done, size - done, static_cast<off_t>(at + done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            if (n == 0) errno = atEnd;
            break;
        }
    }
    return done;
}

std::size_t writeAt(int fd, const char* data, std::size_t size, std::uint64_t at) noexcept {
    return transferAt(::pwrite, fd, data, size, at, ENOSPC);
}

// False when the file was shortened behind our back or could not be read.
bool readAt(int fd, char* data, std::size_t size, std::uint64_t at) noexcept {
    return transferAt(::pread, fd, data, size, at, EIO) == size;
}

std::size_t append(char* out, std::size_t at, const char* text) noexcept {
    while (*text)
        out[at++] = *text++;
    return at;
}

} // namespace

std::size_t formatMarker(char* out, std::uint64_t leftOut, bool newlineFirst) noexcept {
    std::size_t n = 0;
    if (newlineFirst) out[n++] = '\n';
    n = append(out, n, "... ");
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + leftOut % 10);
        leftOut /= 10;
    } while (leftOut > 0);
    while (count > 0)
        out[n++] = digits[--count];
    return append(out, n, " bytes left out ...\n");
}

RunFileKeeper::RunFileKeeper(int file, std::uint64_t maxBytes, char* move,
                             std::size_t moveSize) noexcept
    : file_(file), head_(maxBytes / 2), tail_(maxBytes - maxBytes / 2),
      limit_(maxBytes > UINT64_MAX - tail_ ? UINT64_MAX : maxBytes + tail_), move_(move),
      moveSize_(moveSize) {}

void RunFileKeeper::failed(int error) noexcept {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
}

void RunFileKeeper::take(const char* data, std::size_t size) noexcept {
    if (!headDone_) {
        const std::uint64_t room = head_ - headLength_;
        const std::size_t part = size < room ? size : static_cast<std::size_t>(room);
        const std::size_t written = writeAt(file_, data, part, headLength_);
        headLength_ += written;
        if (written > 0) headLast_ = data[written - 1];
        if (written < part) {
            // The head ends here; what follows it is told by the marker.
            failed(errno);
            headDone_ = true;
            leftOut_ += part - written;
        } else if (headLength_ == head_) {
            headDone_ = true;
        }
        data += part;
        size -= part;
    }
    if (size == 0) return;
    const bool markerMissing = leftOut_ > 0 && markerLength_ == 0;
    if (!markerMissing && size <= limit_ - tailLength_) {
        const std::size_t written = writeAt(file_, data, size, end());
        tailLength_ += written;
        if (written < size) dropTail(size - written);
        return;
    }
    cut(data, size);
}

void RunFileKeeper::finish() noexcept {
    if (tailLength_ > tail_ || (leftOut_ > 0 && markerLength_ == 0)) cut(nullptr, 0);
}

// The tail region followed by data becomes its last tail_ bytes, after a new marker.
void RunFileKeeper::cut(const char* data, std::size_t size) noexcept {
    const std::uint64_t total = tailLength_ + size;
    const std::uint64_t keep = total < tail_ ? total : tail_;
    const std::size_t fromData = size < keep ? size : static_cast<std::size_t>(keep);
    const std::uint64_t fromTail = keep - fromData;
    const std::uint64_t leftOut = leftOut_ + (total - keep);
    char marker[MarkerMax];
    const std::size_t length = formatMarker(marker, leftOut, headLength_ > 0 && headLast_ != '\n');
    const std::uint64_t from = end() - fromTail;
    const std::uint64_t to = headLength_ + length;
    bool ok = true;
    // The marker goes first, unfinished, wherever it covers nothing still to be moved: a reader
    // who finds it so knows that what follows is being rewritten.
    if (fromTail == 0 || to <= from) {
        char& last = marker[length > 0 ? length - 1 : 0]; // the marker ends in its line break
        last = ' ';
        ok = writeAt(file_, marker, length, headLength_) == length;
        last = '\n';
    }
    ok = ok && move(from, to, fromTail) &&
         writeAt(file_, data + (size - fromData), fromData, to + fromTail) == fromData &&
         ::ftruncate(file_, static_cast<off_t>(to + keep)) == 0 &&
         writeAt(file_, marker, length, headLength_) == length;
    if (!ok) {
        dropTail(size);
        return;
    }
    leftOut_ = leftOut;
    markerLength_ = length;
    tailLength_ = keep;
}

// Forward when the bytes go to a lower offset, backward otherwise, as memmove does: no byte is
// overwritten before it has been read.
bool RunFileKeeper::move(std::uint64_t from, std::uint64_t to, std::uint64_t length) noexcept {
    if (from == to) return true;
    for (std::uint64_t done = 0; done < length;) {
        const std::size_t part =
            length - done < moveSize_ ? static_cast<std::size_t>(length - done) : moveSize_;
        const std::uint64_t at = to < from ? done : length - done - part;
        if (!readAt(file_, move_, part, from + at) || writeAt(file_, move_, part, to + at) != part)
            return false;
        done += part;
    }
    return true;
}

// A write the file refused: everything after the head is left out, and the file keeps its head
// and the marker that says so (when even that cannot be written, a later write tries again).
void RunFileKeeper::dropTail(std::uint64_t lost) noexcept {
    failed(errno);
    leftOut_ += tailLength_ + lost;
    tailLength_ = 0;
    char marker[MarkerMax];
    const std::size_t length = formatMarker(marker, leftOut_, headLength_ > 0 && headLast_ != '\n');
    markerLength_ = writeAt(file_, marker, length, headLength_) == length ? length : 0;
    // Shortening a file needs no room, not even on a full disk.
    if (::ftruncate(file_, static_cast<off_t>(headLength_ + markerLength_)) != 0) markerLength_ = 0;
}

int keepRunFile(int in, int file, std::uint64_t maxBytes, char* buffer, std::size_t size,
                char* move, std::size_t moveSize) noexcept {
    RunFileKeeper keeper(file, maxBytes, move, moveSize);
    for (;;) {
        const ssize_t n = ::read(in, buffer, size);
        if (n > 0)
            keeper.take(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    keeper.finish();
    return keeper.error();
}

} // namespace vektrin
