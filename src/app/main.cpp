// vektrin: the scheduler with its tray icon and main window.

#include "app/control_socket.h"
#include "ui/main_form.h"
#include "ui/translation.h"

#include "platform/clock.h"
#include "platform/strings.h"
#include "platform/version.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int signo) {
    const char c = static_cast<char>(signo);
    [[maybe_unused]] auto n = ::write(signalPipe[1], &c, 1);
}

std::string programPath(const char* argv0) {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) return std::string(buf, static_cast<size_t>(n));
    return argv0;
}

constexpr int ExitUsage = 64; // EX_USAGE

constexpr const char* Usage =
    "Usage: vektrin [LANGUAGE]\n"
    "The Vektrin task scheduler: in the notification area, or headless where there is no\n"
    "desktop. vektrinctl commands it from a terminal.\n"
    "\n"
    "  (no argument)  run the scheduler on the tables of the alias Control\n"
    "  RUS, ENG       record the interface language for the next start, and exit\n"
    "  --version      print the version and exit\n"
    "  -h, --help     print this help and exit\n"
    "\n"
    "Qt's own options (-platform offscreen, -display :1, ...) are taken too.\n"
    "The manual: man vektrin.\n";

// Answers --version and --help before anything else, without a display; 64 for another option.
// Returns -1 when the program goes on.
int answerOptions(int argc, char** argv, bool qtHasTaken) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::cout << "vektrin " << vektrin::fileVersion() << '\n';
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage;
            return 0;
        }
        // A word beginning with "-" is no language; Qt has taken its own options by then.
        if (qtHasTaken && arg.starts_with("-")) {
            std::cerr << "vektrin: unknown option " << arg << "\n" << Usage;
            return ExitUsage;
        }
    }
    return -1;
}

std::string currentDirectory() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string(".");
}

std::string isoNow() {
    const vektrin::DateTime now = vektrin::SystemClock().now();
    const vektrin::DateParts d = vektrin::decodeDate(vektrin::datePart(now));
    const vektrin::TimeParts t = vektrin::decodeTime(now);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day,
                  t.hour, t.minute, t.second);
    return buffer;
}

} // namespace

int main(int argc, char** argv) {
    if (const int status = answerOptions(argc, argv, false); status >= 0) return status;
    // A file that may grow no further (a size limit) fails its write like a full disk, which is
    // reported, instead of killing the scheduler.
    std::signal(SIGXFSZ, SIG_IGN);
    // Without a desktop the same binary runs as a headless scheduler instead of aborting.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland) && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    if (const int status = answerOptions(argc, argv, true); status >= 0) return status;
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(
        QString::fromUtf8(vektrin::str::ApplicationTitle.data(),
                          static_cast<int>(vektrin::str::ApplicationTitle.size())));
    // Ties the windows to the installed vektrin.desktop: its icon and name in task switchers.
    QGuiApplication::setDesktopFileName(QStringLiteral("vektrin"));

    vektrin::MainFormOptions options;
    for (int i = 1; i < argc; ++i)
        options.arguments.emplace_back(argv[i]);
    options.programPath = programPath(argv[0]);
    // The language recorded for this program's path, before any window takes its texts.
    vektrin::installChosenLanguage(app, options.programPath);
    vektrin::TMainForm form(options);
    // SIGTERM, SIGINT and SIGHUP end the program through the normal shutdown sequence; they are
    // caught from before start-up, and one that arrives meanwhile is handled once the loop runs.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (int s : {SIGTERM, SIGINT, SIGHUP})
            sigaction(s, &sa, nullptr);
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form] {
            char c;
            [[maybe_unused]] auto n = ::read(signalPipe[0], &c, 1);
            form.closeMainWindow();
        });
    }
    const int status = form.start();
    if (status >= 0) return status;

    // vektrinctl's way in. The scheduler runs without it, only not commanded from a terminal.
    vektrin::ControlSocket::Identity identity;
    identity.pid = getpid();
    identity.started = isoNow();
    identity.tableDirectory = form.scheduler().dataCtrl().database().directory();
    identity.logPath = currentDirectory() + "/Vektrin.log";
    identity.version = vektrin::fileVersion();
    auto control = std::make_unique<vektrin::ControlSocket>(form, identity);
    std::string controlError;
    const bool listening = control->open(controlError);
    // Kept without a socket too: its state file tells vektrinctl why it cannot reach us.
    if (!controlError.empty())
        std::cerr << "vektrin: " << (listening ? "" : "no control socket: ") << controlError
                  << '\n';

    // A desktop logout quits the application: the tasks are interrupted and the closing line
    // written.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, [&form] { form.shutdown(); });
    std::signal(SIGPIPE, SIG_IGN);
    return app.exec();
}
