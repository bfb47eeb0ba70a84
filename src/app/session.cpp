#include "app/session.h"

#include "app/control_socket.h"
#include "engine/control_wire.h"
#include "engine/scheduler.h"
#include "platform/clock.h"
#include "platform/places.h"
#include "platform/text.h"
#include "platform/unique_fd.h"
#include "platform/version.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace vektrin {
namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int signo) {
    const char c = static_cast<char>(signo);
    [[maybe_unused]] auto n = ::write(signalPipe[1], &c, 1);
}

constexpr const char* Usage =
    "Usage: vektrin [LANGUAGE]\n"
    "       vektrin --headless\n"
    "The Vektrin task scheduler: in the notification area, or headless where there is no\n"
    "desktop. vektrinctl commands it from a terminal.\n"
    "\n"
    "  (no argument)  run the scheduler on the tables of the alias Control\n"
    "  --headless     run it without windows also where there is a desktop (as the service does)\n"
    "  RUS, ENG       record the interface language for the next start, and exit\n"
    "  --version      print the version and exit\n"
    "  -h, --help     print this help and exit\n"
    "\n"
    "Qt's own options (-platform offscreen, -display :1, ...) are taken too.\n"
    "The manual: man vektrin.\n";

std::string currentDirectory() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string(".");
}

std::string isoNow() {
    return text::isoStamp(SystemClock().now());
}

// A second start waits no longer than this for the running scheduler's answer.
constexpr int AnswerWithinMs = 5000;

// One request to the socket at path and its answer; empty when nobody answers in time.
QJsonObject askSocket(const std::string& path, const QJsonObject& request) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return {};
    try {
        const places::SocketAddress address(path);
        if (::connect(fd.get(), address.get(), address.size()) != 0) return {};
    } catch (const places::PlaceError&) {
        return {};
    }
    const QByteArray line = QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n';
    if (::send(fd.get(), line.constData(), static_cast<size_t>(line.size()), MSG_NOSIGNAL) !=
        line.size())
        return {};
    QByteArray answer;
    const std::int64_t until = wire::deadlineClockMs() + AnswerWithinMs;
    while (!answer.contains('\n')) {
        const std::int64_t left = until - wire::deadlineClockMs();
        pollfd p{fd.get(), POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return {};
        char buffer[4096];
        const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
        if (n <= 0) return {};
        answer.append(buffer, n);
    }
    return QJsonDocument::fromJson(answer.left(answer.indexOf('\n'))).object();
}

// The notices of a shared database taken as they come rather than at the next second: another
// workstation's change shows at once and a request for this one is answered at once. A
// reconnection brings another socket; it is looked up each second.
class ServerNoticeWatch {
  public:
    explicit ServerNoticeWatch(Scheduler& scheduler) : scheduler_(scheduler) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { follow(); });
        timer_.start(1000);
        follow();
    }

  private:
    void follow() {
        const int fd = scheduler_.noticeSocket();
        if (notifier_ && fd == fd_) {
            notifier_->setEnabled(true);
            return;
        }
        notifier_.reset();
        fd_ = fd;
        if (fd < 0) return;
        notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
            // During a pass (its box open) the notices wait for the next second; a lost
            // connection's socket would read as ready until it is replaced.
            if (!scheduler_.passRunning()) scheduler_.takeServerNotices();
            if (scheduler_.passRunning() || scheduler_.noticeSocket() != fd_)
                notifier_->setEnabled(false);
        });
    }

    Scheduler& scheduler_;
    QTimer timer_;
    std::unique_ptr<QSocketNotifier> notifier_;
    int fd_ = -1;
};

} // namespace

std::optional<RunningScheduler> findRunningScheduler(const std::string& tableDirectory,
                                                     bool bringForward) {
    const std::string key = places::schedulerKey(tableDirectory);
    QJsonObject request{
        {wire::Command, bringForward ? wire::Raise : wire::Status},
        {wire::Deadline, static_cast<double>(wire::deadlineClockMs() + AnswerWithinMs - 1000)}};
    for (auto place : {&places::runtimeDirectory, &places::privateRuntimeDirectory}) {
        std::string directory;
        try {
            directory = place(false);
        } catch (const places::PlaceError&) {
            continue;
        }
        QFile file(QString::fromStdString(places::stateFilePath(directory, key)));
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QJsonObject state = QJsonDocument::fromJson(file.readAll()).object();
        const QString socket = state.value(wire::state::Socket).toString();
        if (socket.isEmpty()) continue;
        const QJsonObject answer = askSocket(socket.toStdString(), request);
        if (answer.isEmpty()) continue;
        // A refusal is an answer too: a headless scheduler (or one ending its work) runs all
        // the same.
        RunningScheduler running;
        running.pid = static_cast<long long>(
            answer.value(wire::Pid).toDouble(state.value(wire::state::Pid).toDouble()));
        running.broughtForward = bringForward && answer.value(wire::Ok).toBool();
        return running;
    }
    return std::nullopt;
}

int answerOptions(int argc, char** argv, bool qtHasTaken) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::cout << "vektrin " << fileVersion() << '\n';
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage;
            return 0;
        }
        // A word beginning with "-" is no language; Qt has taken its own options by then.
        if (qtHasTaken && arg.starts_with("-") && arg != "--headless") {
            std::cerr << "vektrin: unknown option " << arg << "\n" << Usage;
            return ExitUsage;
        }
    }
    return -1;
}

std::string programPath(const char* argv0) {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) return std::string(buf, static_cast<size_t>(n));
    return argv0;
}

void catchEndSignals(QObject* context, std::function<void()> end) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &sa, nullptr);
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [end = std::move(end)] {
        char c;
        [[maybe_unused]] auto n = ::read(signalPipe[0], &c, 1);
        end();
    });
}

int serveScheduler(QCoreApplication& app, Scheduler& scheduler, QObject* context,
                   std::function<bool()> shuttingDown, std::function<void()> shutdown,
                   std::function<void()> bringForward) {
    // vektrinctl's way in. The scheduler runs without it, only not commanded from a terminal.
    ControlSocket::Identity identity;
    identity.pid = getpid();
    identity.started = isoNow();
    identity.tableDirectory = scheduler.dataCtrl().database().directory();
    identity.logPath = currentDirectory() + "/Vektrin.log";
    identity.version = fileVersion();
    auto control = std::make_unique<ControlSocket>(scheduler, std::move(shuttingDown), identity);
    if (bringForward) control->setBringForward(std::move(bringForward));
    std::string controlError;
    const bool listening = control->open(controlError);
    // Kept without a socket too: its state file tells vektrinctl why it cannot reach us.
    if (!controlError.empty())
        std::cerr << "vektrin: " << (listening ? "" : "no control socket: ") << controlError
                  << '\n';

    // Requests another workstation sends through a shared database get the socket's answers; one
    // that meets tables held by another program is answered so, as its asker cannot wait.
    scheduler.answerRemoteRequestsWith([socket = control.get()](const std::string& request) {
        const QByteArray answer = socket->answer(QByteArray::fromStdString(request));
        return answer.isEmpty() ? std::string(R"({"ok": false, "error": "The tables are held by )"
                                              R"(another program; try again."})"
                                              "\n")
                                : answer.toStdString();
    });

    ServerNoticeWatch notices(scheduler);

    // A desktop logout quits the application: the tasks are interrupted and the closing line
    // written.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, context, std::move(shutdown));
    std::signal(SIGPIPE, SIG_IGN);
    const int status = app.exec();
    scheduler.answerRemoteRequestsWith({}); // the socket goes with this function
    return status;
}

} // namespace vektrin
