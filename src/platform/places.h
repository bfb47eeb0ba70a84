#pragma once
// Where a running scheduler can be found: the runtime directory with its state file and control
// socket, one pair per table directory (there is one scheduler per table directory); and the
// state directory where the service and scripts/run keep the protocol.

#include <optional>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>

namespace vektrin::places {

// A place that cannot be used, named with the reason.
class PlaceError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// $XDG_STATE_HOME/vektrin, or ~/.local/state/vektrin when the variable is unset or relative.
std::string stateDirectory();

// $XDG_RUNTIME_DIR/vektrin, or /tmp/vektrin-<uid> without that variable. With create, a missing
// directory is made with mode 0700. Throws PlaceError when the directory is there with another
// owner or with access for others, or is a link or no directory: a socket in it could be reached
// or replaced by someone else.
std::string runtimeDirectory(bool create);

// <state directory>/run: where the socket and the state file go when the runtime directory
// cannot be used (in /tmp another local user may have made it first). Made 0700 with its missing
// parents, and refused as the runtime directory is.
std::string privateRuntimeDirectory(bool create);

// A short hash of the canonical table directory: the name of its state file and socket.
std::string schedulerKey(const std::string& tableDirectory);

// <runtime directory>/<key>.json and <key>.sock.
std::string stateFilePath(const std::string& runtimeDirectory, const std::string& key);
std::string socketPath(const std::string& runtimeDirectory, const std::string& key);

// The longest path a Unix socket address holds (without its terminating NUL).
constexpr std::size_t MaxSocketPath = 107;

// The address of the Unix socket at path, to bind or connect. A longer path than an address
// holds (a long home directory) is reached through a descriptor of its directory,
// /proc/self/fd/<n>/<name>, open while the address lives. Throws PlaceError when neither works.
class SocketAddress {
  public:
    explicit SocketAddress(const std::string& path);
    ~SocketAddress();
    SocketAddress(const SocketAddress&) = delete;
    SocketAddress& operator=(const SocketAddress&) = delete;
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address_); }
    socklen_t size() const { return sizeof address_; }

  private:
    sockaddr_un address_{};
    int directory_ = -1;
};

// Whether some process holds an exclusive flock(2) on the file, as a running scheduler holds its
// task table, read from /proc/locks without touching the lock (a probe could make a scheduler
// that starts at that moment fail). Empty when that cannot be known.
std::optional<bool> lockedExclusively(const std::string& path);

// Writes text to path through a file beside it that is renamed over it, so a reader sees the old
// or the new text, never half of one; mode 0600. Throws PlaceError naming the path.
void writeFileAtomically(const std::string& path, const std::string& text);

} // namespace vektrin::places
