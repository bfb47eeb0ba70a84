// vektrin: the scheduler with its tray icon and main window.

#include "ui/main_form.h"
#include "ui/translation.h"

#include "platform/strings.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdlib>
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

} // namespace

int main(int argc, char** argv) {
    // A file that may grow no further (a size limit) fails its write like a full disk, which is
    // reported, instead of killing the scheduler.
    std::signal(SIGXFSZ, SIG_IGN);
    // Without a desktop the same binary runs as a headless scheduler instead of aborting.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland) && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
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

    // A desktop logout quits the application: the tasks are interrupted and the closing line
    // written.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, [&form] { form.shutdown(); });
    std::signal(SIGPIPE, SIG_IGN);
    return app.exec();
}
