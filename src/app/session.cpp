#include "app/session.h"

#include "app/control_socket.h"
#include "engine/scheduler.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/version.h"

#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
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

} // namespace

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
                   std::function<bool()> shuttingDown, std::function<void()> shutdown) {
    // vektrinctl's way in. The scheduler runs without it, only not commanded from a terminal.
    ControlSocket::Identity identity;
    identity.pid = getpid();
    identity.started = isoNow();
    identity.tableDirectory = scheduler.dataCtrl().database().directory();
    identity.logPath = currentDirectory() + "/Vektrin.log";
    identity.version = fileVersion();
    auto control = std::make_unique<ControlSocket>(scheduler, std::move(shuttingDown), identity);
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

    // A desktop logout quits the application: the tasks are interrupted and the closing line
    // written.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, context, std::move(shutdown));
    std::signal(SIGPIPE, SIG_IGN);
    const int status = app.exec();
    scheduler.answerRemoteRequestsWith({}); // the socket goes with this function
    return status;
}

} // namespace vektrin
