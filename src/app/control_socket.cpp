#include "app/control_socket.h"

#include "engine/control_wire.h"
#include "engine/operator_commands.h"
#include "engine/scheduler.h"
#include "platform/places.h"
#include "platform/text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace vektrin {
namespace {

// A client sends its request as it connects: a connection without it by then is closed.
constexpr int RequestWithinMs = 2500;
// A client that does not take its answer in this time is dropped.
constexpr int AnswerTakenWithinMs = 5000;
// More at once than any operator types.
constexpr std::size_t MaxConnections = 32;
// An idle connection is closed to make room only this long after it was taken: its client may
// not have had its turn to send yet.
constexpr std::int64_t IdleAtLeastMs = 100;
// While the tables are held a request is tried each second; one without a deadline this long.
constexpr int RetryMs = 1000;
constexpr std::int64_t UntimedRetryWithinMs = 4000;

QString qstr(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString isoMoment(DateTime value) {
    return QString::fromStdString(text::isoStamp(value));
}

QByteArray line(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray refusal(const QString& error) {
    return line(QJsonObject{{wire::Ok, false}, {wire::Error, error}});
}

QByteArray expired() {
    return line(QJsonObject{{wire::Ok, false},
                            {wire::Expired, true},
                            {wire::Error, QStringLiteral("The request's deadline had passed when "
                                                         "its turn came: nothing was done")}});
}

std::optional<std::int64_t> deadlineOf(const QJsonObject& request) {
    const QJsonValue deadline = request.value(wire::Deadline);
    if (!deadline.isDouble()) return std::nullopt;
    return static_cast<std::int64_t>(deadline.toDouble());
}

std::optional<OperatorCommand> commandNamed(const QString& name) {
    if (name == wire::Run) return OperatorCommand::RunNow;
    if (name == wire::Interrupt) return OperatorCommand::Interrupt;
    if (name == wire::CancelWait) return OperatorCommand::CancelWaiting;
    if (name == wire::Stop) return OperatorCommand::Stop;
    if (name == wire::Resume) return OperatorCommand::Resume;
    return std::nullopt;
}

} // namespace

struct ControlSocket::Connection {
    int fd = -1;
    std::uint64_t serial = 0; // in the order taken: the oldest idle one goes first
    std::int64_t takenAt = 0; // in wire::deadlineClockMs()
    bool idle = true;         // no whole request yet: it may be closed to make room
    std::int64_t retryUntil = 0;
    QByteArray request;
    QByteArray pending; // the answer's part not sent yet
    std::unique_ptr<QSocketNotifier> reader;
    std::unique_ptr<QSocketNotifier> writer;
    std::unique_ptr<QTimer> deadline;
};

ControlSocket::ControlSocket(Scheduler& scheduler, std::function<bool()> shuttingDown,
                             Identity identity, QObject* parent)
    : QObject(parent), scheduler_(scheduler), shuttingDown_(std::move(shuttingDown)),
      identity_(std::move(identity)) {}

ControlSocket::~ControlSocket() {
    while (!connections_.empty())
        drop(connections_.begin()->first);
    delete listener_;
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(socketPath_.c_str());
    }
    if (!stateFile_.empty()) ::unlink(stateFile_.c_str());
}

bool ControlSocket::listenAt(const std::string& directory, std::string& problem) {
    const std::string key = places::schedulerKey(identity_.tableDirectory);
    const std::string path = places::socketPath(directory, key);
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            problem = path + " is there and is no socket; it is left as it is";
            return false;
        }
        // Left by a scheduler of this table directory that did not end cleanly.
        ::unlink(path.c_str());
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        problem = std::string("Cannot make a socket: ") + std::strerror(errno);
        return false;
    }
    try {
        const places::SocketAddress address(path);
        // Clients beyond the connections served at once wait in the queue, not refused.
        if (::bind(fd, address.get(), address.size()) != 0 || ::chmod(path.c_str(), 0600) != 0 ||
            ::listen(fd, SOMAXCONN) != 0)
            throw places::PlaceError("Cannot listen on " + path + ": " + std::strerror(errno));
    } catch (const places::PlaceError& e) {
        problem = e.what();
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    socketPath_ = path;
    return true;
}

bool ControlSocket::open(std::string& error) {
    // The runtime directory, else the private one under the state directory: a directory that
    // another user made first in /tmp leaves the scheduler reachable all the same.
    std::vector<std::string> problems, usable;
    std::string stateDirectory;
    for (auto place : {&places::runtimeDirectory, &places::privateRuntimeDirectory}) {
        std::string directory;
        try {
            directory = place(true);
        } catch (const places::PlaceError& e) {
            problems.emplace_back(e.what());
            continue;
        }
        usable.push_back(directory);
        if (stateDirectory.empty()) stateDirectory = directory;
        std::string problem;
        if (listenAt(directory, problem)) {
            stateDirectory = directory;
            break;
        }
        problems.push_back(problem);
    }
    std::string reasons;
    for (const std::string& p : problems)
        reasons += (reasons.empty() ? "" : "; ") + p;
    if (listenFd_ >= 0) {
        listener_ = new QSocketNotifier(listenFd_, QSocketNotifier::Read);
        connect(listener_, &QSocketNotifier::activated, this, [this] { acceptConnections(); });
        if (!reasons.empty()) error = reasons + "; the control socket is " + socketPath_;
    } else {
        error = reasons;
    }
    // The state file goes under the state directory where it can: a shell with another
    // XDG_RUNTIME_DIR, or none, finds it there and the socket it names, in /tmp or not.
    try {
        const std::string kept = places::privateRuntimeDirectory(true);
        if (std::find(usable.begin(), usable.end(), kept) == usable.end()) usable.push_back(kept);
        stateDirectory = kept;
    } catch (const places::PlaceError&) {
        // Beside the socket: the runtime directory is the one place there is.
    }
    if (stateDirectory.empty()) return listenFd_ >= 0;
    // A state file of these tables left in the other place by a scheduler that was killed would
    // name a socket nobody listens on (this one holds the tables' lock: no other one runs).
    const std::string key = places::schedulerKey(identity_.tableDirectory);
    for (const std::string& directory : usable)
        if (directory != stateDirectory) ::unlink(places::stateFilePath(directory, key).c_str());

    // The state file says where the socket is, or why there is none, for vektrinctl to tell a
    // scheduler it cannot reach from none.
    const QJsonObject state{
        {wire::state::Pid, identity_.pid},
        {wire::state::Started, qstr(identity_.started)},
        {wire::state::TableDirectory, qstr(identity_.tableDirectory)},
        {wire::state::Log, qstr(identity_.logPath)},
        {wire::state::Socket, listenFd_ >= 0 ? QJsonValue(qstr(socketPath_)) : QJsonValue()},
        {wire::state::SocketProblem, listenFd_ >= 0 ? QJsonValue() : QJsonValue(qstr(reasons))},
        {wire::state::Version, qstr(identity_.version)}};
    const std::string stateFile = places::stateFilePath(stateDirectory, key);
    try {
        const QByteArray text = QJsonDocument(state).toJson(QJsonDocument::Indented);
        places::writeFileAtomically(stateFile, text.toStdString());
        stateFile_ = stateFile;
    } catch (const places::PlaceError& e) {
        // The socket serves without it; only the protocol's place is harder to find.
        error += (error.empty() ? "" : "; ") + std::string(e.what());
    }
    return listenFd_ >= 0;
}

void ControlSocket::acceptConnections() {
    for (;;) {
        if (connections_.size() >= MaxConnections && !makeRoom()) {
            // Each place holds a request or a connection just taken: the rest wait in the listen
            // queue until one ends or an idle one may go.
            listener_->setEnabled(false);
            return;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return; // EAGAIN: all taken; anything else: the next notification retries
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->serial = ++accepted_;
        c->takenAt = wire::deadlineClockMs();
        c->deadline = std::make_unique<QTimer>();
        c->deadline->setSingleShot(true);
        connect(c->deadline.get(), &QTimer::timeout, this, [this, fd] { drop(fd); });
        c->deadline->start(RequestWithinMs);
        Connection& connection = *c;
        connections_[fd] = std::move(c);

        ucred peer{};
        socklen_t size = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != geteuid()) {
            respond(connection,
                    refusal(QStringLiteral("Refused: the connection comes from user %1; this "
                                           "scheduler takes commands from user %2 only")
                                .arg(peer.uid)
                                .arg(geteuid())));
            continue;
        }
        connection.reader = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(connection.reader.get(), &QSocketNotifier::activated, this,
                [this, fd] { readFrom(fd); });
        readFrom(fd); // a client that waited in the queue has sent its request already
    }
}

bool ControlSocket::makeRoom() {
    while (connections_.size() >= MaxConnections) {
        const Connection* oldest = nullptr;
        for (const auto& [fd, c] : connections_)
            if (c->idle && (!oldest || c->serial < oldest->serial)) oldest = c.get();
        if (!oldest) return false; // requests only, each ended by its answer
        const int fd = oldest->fd;
        const std::int64_t age = wire::deadlineClockMs() - oldest->takenAt;
        readFrom(fd); // what it sent meanwhile is served, not thrown away
        const auto it = connections_.find(fd);
        if (it == connections_.end() || !it->second->idle) continue;
        if (age < IdleAtLeastMs) {
            if (!roomAwaited_)
                QTimer::singleShot(static_cast<int>(IdleAtLeastMs - age), this, [this] {
                    roomAwaited_ = false;
                    acceptConnections();
                });
            roomAwaited_ = true;
            return false;
        }
        drop(fd);
    }
    return true;
}

void ControlSocket::readFrom(int fd) {
    auto it = connections_.find(fd);
    if (it == connections_.end()) return;
    Connection& c = *it->second;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return; // more to come
        const bool ended = n <= 0;
        if (n > 0) c.request.append(buffer, n);
        const qsizetype newline = c.request.indexOf('\n');
        if (c.request.size() > MaxRequest && (newline < 0 || newline > MaxRequest)) {
            c.reader->setEnabled(false);
            return respond(c, refusal(QStringLiteral("The request is larger than %1 KiB: refused")
                                          .arg(MaxRequest / 1024)));
        }
        if (newline >= 0 || ended) {
            c.reader->setEnabled(false);
            if (n < 0) return drop(fd); // the client went away
            if (newline >= 0) c.request.truncate(newline);
            c.idle = false;
            c.deadline->stop(); // it waits for its answer now, which takes what it takes
            return serve(fd, c.serial);
        }
    }
}

void ControlSocket::serve(int fd, std::uint64_t serial) {
    const auto it = connections_.find(fd);
    if (it == connections_.end() || it->second->serial != serial) return;
    Connection& c = *it->second;
    QByteArray line = answer(c.request);
    if (line.isEmpty()) {
        // Asked again within the client's deadline, so that even the last refusal reaches it.
        const std::int64_t now = wire::deadlineClockMs();
        if (c.retryUntil == 0)
            c.retryUntil = deadlineOf(QJsonDocument::fromJson(c.request).object())
                               .value_or(now + UntimedRetryWithinMs);
        if (now + RetryMs < c.retryUntil) {
            QTimer::singleShot(RetryMs, this, [this, fd, serial] { serve(fd, serial); });
            return;
        }
        line = refusal(QString::fromStdString(lastBusy_));
    }
    respond(c, line);
}

void ControlSocket::respond(Connection& c, const QByteArray& answerLine) {
    c.idle = false;
    c.pending = answerLine;
    c.deadline->start(AnswerTakenWithinMs);
    writeTo(c.fd);
}

void ControlSocket::writeTo(int fd) {
    auto it = connections_.find(fd);
    if (it == connections_.end()) return;
    Connection& c = *it->second;
    while (!c.pending.isEmpty()) {
        const ssize_t n = ::send(fd, c.pending.constData(), static_cast<size_t>(c.pending.size()),
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The client reads slowly: go on when it has room, never wait for it here.
            if (!c.writer) {
                c.writer = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
                connect(c.writer.get(), &QSocketNotifier::activated, this,
                        [this, fd] { writeTo(fd); });
            }
            return;
        }
        if (n <= 0) break; // gone
        c.pending.remove(0, n);
    }
    drop(fd);
}

void ControlSocket::drop(int fd) {
    auto it = connections_.find(fd);
    if (it == connections_.end()) return;
    // The notifiers go before the descriptor they watch.
    std::unique_ptr<Connection> c = std::move(it->second);
    connections_.erase(it);
    c->reader.reset();
    c->writer.reset();
    c->deadline.reset();
    ::close(fd);
    if (listener_ && !listener_->isEnabled() && connections_.size() < MaxConnections)
        listener_->setEnabled(true);
}

QByteArray ControlSocket::answer(const QByteArray& request) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(request, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refusal(QStringLiteral("The request is not JSON: %1 (at byte %2)")
                           .arg(parseError.errorString())
                           .arg(parseError.offset));
    if (!document.isObject()) return refusal(QStringLiteral("The request is not a JSON object"));
    const QJsonObject object = document.object();
    const QJsonValue command = object.value(wire::Command);
    if (!command.isString()) return refusal(QStringLiteral("The request names no \"command\""));
    const QJsonValue deadline = object.value(wire::Deadline);
    if (!deadline.isUndefined() && !deadline.isDouble())
        return refusal(QStringLiteral("The \"deadline\" is no number of milliseconds"));
    // Its client has given up and said that nothing was done: so it must stay.
    if (deadline.isDouble() && static_cast<double>(wire::deadlineClockMs()) >= deadline.toDouble())
        return expired();
    if (shuttingDown_()) return refusal(QStringLiteral("The scheduler is ending its work"));
    if (command.toString() == wire::Status) return statusAnswer();
    if (command.toString() == wire::Raise) {
        if (!bringForward_)
            return refusal(
                QStringLiteral("This scheduler runs without windows (PID %1)").arg(identity_.pid));
        bringForward_();
        return line(QJsonObject{{wire::Ok, true},
                                {wire::Message, QStringLiteral("The main window is in front")},
                                {wire::Pid, identity_.pid}});
    }
    const QJsonValue task = object.value(wire::Task);
    if (!commandNamed(command.toString()))
        return refusal(QStringLiteral("Unknown command \"%1\"").arg(command.toString()));
    if (!task.isString() || task.toString().isEmpty())
        return refusal(
            QStringLiteral("The command \"%1\" needs a \"task\"").arg(command.toString()));
    return commandAnswer(command.toString(), task.toString());
}

QByteArray ControlSocket::commandAnswer(const QString& command, const QString& task) {
    const OperatorAnswer a =
        operatorCommand(scheduler_, *commandNamed(command), task.toStdString());
    if (a.tryAgain) {
        lastBusy_ = "The tables are held by another program: " + a.text;
        return {};
    }
    if (!a.ok) return refusal(qstr(a.text));
    return line(QJsonObject{{wire::Ok, true}, {wire::Message, qstr(a.text)}});
}

QByteArray ControlSocket::statusAnswer() {
    const SchedulerStatus status = schedulerStatus(scheduler_);
    QJsonArray running;
    for (const RunningTaskStatus& r : status.running)
        running.append(QJsonObject{{wire::Slot, r.slot},
                                   {wire::AppId, r.appId},
                                   {wire::AppName, qstr(r.appName)},
                                   {wire::Pid, static_cast<qint64>(r.processId)},
                                   {wire::Since, r.since ? QJsonValue(isoMoment(*r.since))
                                                         : QJsonValue(QJsonValue::Null)}});
    QJsonArray windows;
    for (const std::string& w : status.openWindows)
        windows.append(qstr(w));
    return line(QJsonObject{{wire::Ok, true},
                            {wire::Message, QStringLiteral("running")},
                            {wire::Pid, identity_.pid},
                            {wire::Started, qstr(identity_.started)},
                            {wire::TableDirectory, qstr(identity_.tableDirectory)},
                            {wire::Log, qstr(identity_.logPath)},
                            {wire::Socket, qstr(socketPath_)},
                            {wire::Version, qstr(identity_.version)},
                            {wire::Colour, qstr(status.colour)},
                            {wire::Paused, status.paused},
                            {wire::PausedBy, qstr(status.pausedBy)},
                            {wire::OpenWindows, windows},
                            {wire::RunningTasks, running}});
}

} // namespace vektrin
