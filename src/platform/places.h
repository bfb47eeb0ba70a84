#pragma once
// Where a running scheduler can be found: the runtime directory with its state file and control
// socket, one pair per table directory (there is one scheduler per table directory); and the
// state directory where the service and scripts/run keep the protocol.

#include <stdexcept>
#include <string>

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
// owner or with access for others, or is no directory: a socket in it could be reached or
// replaced by someone else.
std::string runtimeDirectory(bool create);

// A short hash of the canonical table directory: the name of its state file and socket.
std::string schedulerKey(const std::string& tableDirectory);

// <runtime directory>/<key>.json and <key>.sock.
std::string stateFilePath(const std::string& runtimeDirectory, const std::string& key);
std::string socketPath(const std::string& runtimeDirectory, const std::string& key);

// The longest path a Unix socket address holds (without its terminating NUL).
constexpr std::size_t MaxSocketPath = 107;

// Writes text to path through a file beside it that is renamed over it, so a reader sees the old
// or the new text, never half of one; mode 0600. Throws PlaceError naming the path.
void writeFileAtomically(const std::string& path, const std::string& text);

} // namespace vektrin::places
