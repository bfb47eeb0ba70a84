#pragma once
// The scheduler's control socket: vektrinctl's way to the running scheduler. A Unix socket in a
// directory only the user may enter; a connection of another user is refused by its peer
// credentials. One request per connection (a JSON object of at most 64 KiB), answered with one
// JSON line. Socket notifiers on the main thread call the engine's operator commands between the
// passes: nothing waits for a client, and no other thread touches the tables.
//
// Beside the socket a state file names the running scheduler (PID, start, table directory,
// protocol, socket or why there is none), for vektrinctl to find it and its protocol; both go at
// a clean end. Every connection is taken at once; at most MaxConnections are kept, and to make
// room the oldest one that has not sent its whole request goes, so connections that say nothing
// never keep a request from being read. A request carries its client's deadline, after which it
// is not carried out.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;
class QTimer;

namespace vektrin {

class Scheduler;

class ControlSocket : public QObject {
    Q_OBJECT
  public:
    // The largest request read; a longer one is refused.
    static constexpr int MaxRequest = 64 * 1024;

    struct Identity {
        long long pid = 0;
        std::string started;        // "YYYY-MM-DD HH:MM:SS"
        std::string tableDirectory; // the alias Control's directory
        std::string logPath;        // absolute
        std::string version;
    };

    // shuttingDown says whether the scheduler has begun its shutdown: requests are refused then.
    ControlSocket(Scheduler& scheduler, std::function<bool()> shuttingDown, Identity identity,
                  QObject* parent = nullptr);
    // Closes the socket and removes the socket file and the state file.
    ~ControlSocket() override;

    // Makes the runtime directory, replaces a socket file nobody listens on any more (this
    // scheduler holds the lock of its table directory, so no other one can), listens, and writes
    // the state file. When the runtime directory cannot be used it listens in the private one
    // under the state directory instead. False, with the reasons, when it listens nowhere; the
    // state file then says why, for as long as this object lives. error also names a socket
    // that is not in the runtime directory, and a state file that could not be written.
    bool open(std::string& error);
    const std::string& socketPath() const { return socketPath_; }
    // What "raise" does: brings the main window forward. Without it (headless) "raise" is refused.
    void setBringForward(std::function<void()> bringForward) {
        bringForward_ = std::move(bringForward);
    }

    // The answer line (with its line end) to one request; empty when the tables are held by
    // another program for now and the request is worth asking again a second later. A request
    // whose deadline has passed is refused as expired: its client has given up.
    QByteArray answer(const QByteArray& request);

  private:
    struct Connection;
    bool listenAt(const std::string& directory, std::string& problem);
    void acceptConnections();
    // Closes the oldest idle connection when the table is full; false when none may go yet.
    bool makeRoom();
    void readFrom(int fd);
    void respond(Connection& c, const QByteArray& line);
    // Answers the connection's request now, or a second later while the tables are held (never
    // waiting on the lock here, where the passes and the windows wait too).
    void serve(int fd, std::uint64_t serial);
    void writeTo(int fd);
    void drop(int fd);
    QByteArray statusAnswer();
    QByteArray commandAnswer(const QString& command, const QString& task);

    Scheduler& scheduler_;
    std::function<bool()> shuttingDown_;
    std::function<void()> bringForward_;
    Identity identity_;
    std::string socketPath_;
    std::string stateFile_;
    int listenFd_ = -1;
    QSocketNotifier* listener_ = nullptr;
    std::map<int, std::unique_ptr<Connection>> connections_;
    std::uint64_t accepted_ = 0; // connections taken so far
    bool roomAwaited_ = false;   // a timer takes connections again when an idle one may go
    std::string lastBusy_;       // why the last request had to wait
};

} // namespace vektrin
