#include "app/desktop.h"

#include "app/session.h"
#include "language/translation.h"
#include "platform/strings.h"
#include "ui/first_start_dialog.h"
#include "ui/main_form.h"

#include <QApplication>

int vektrinDesktopMain(int argc, char** argv) {
    using namespace vektrin;
    QApplication app(argc, argv);
    if (const int status = answerOptions(argc, argv, true); status >= 0) return status;
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(plainText(str::ApplicationTitle));
    // Ties the windows to the installed vektrin.desktop: its icon and name in task switchers.
    QGuiApplication::setDesktopFileName(QStringLiteral("vektrin"));

    MainFormOptions options;
    for (int i = 1; i < argc; ++i)
        options.arguments.emplace_back(argv[i]);
    options.programPath = programPath(argv[0]);
    options.findRunning = [](const std::string& tables) {
        return findRunningScheduler(tables, true);
    };
    // The language recorded for this program's path, before any window takes its texts.
    installChosenLanguage(app, options.programPath);
    // A first start asks before the start-up would refuse for want of the alias; a run that only
    // records a language choice asks nothing.
    bool created = false;
    if (options.arguments.empty()) offerFirstStart(nullptr, &created);
    TMainForm form(options);
    catchEndSignals(&form, [&form] { form.closeMainWindow(); });
    const int status = form.start();
    if (status >= 0) return status;
    if (created) form.welcome();
    return serveScheduler(
        app, form.scheduler(), &form, [&form] { return form.isShutDown(); },
        [&form] { form.shutdown(); }, [&form] { form.bringForward(); });
}
