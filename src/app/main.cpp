// vektrin: the scheduler. Where there is a display it hands over to the desktop (tray icon and
// windows, a module loaded only then); without one, or with --headless, it runs here on a core
// application, and the widgets are never loaded.

#include "app/desktop.h"
#include "app/headless.h"
#include "app/session.h"
#include "language/translation.h"
#include "platform/places.h"
#include "platform/run_output.h"
#include "platform/strings.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <iostream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

// Qt's options of displays and windows: (name, whether a value follows).
constexpr std::pair<std::string_view, bool> WindowOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},
    {"qwindowtitle", true},    {"session", true},
    {"display", true},         {"geometry", true},
    {"title", true},           {"name", true},
    {"style", true},           {"stylesheet", true},
    {"reverse", false},        {"widgetcount", false},
    {"nograb", false},         {"dograb", false},
    {"sync", false},
};

// The option's entry in WindowOptions (Qt takes "-name" and "--name"); nullptr for another word.
const std::pair<std::string_view, bool>* windowOption(std::string_view arg) {
    if (!arg.starts_with("-")) return nullptr;
    arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
    arg = arg.substr(0, arg.find('='));
    for (const auto& option : WindowOptions)
        if (option.first == arg) return &option;
    return nullptr;
}

// The Qt platform asked for: -platform NAME, else the first of QT_QPA_PLATFORM's, without its
// options. Empty when none is.
std::string askedPlatform(int argc, char** argv) {
    std::string platform = isSet("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
    for (int i = 1; i + 1 < argc; ++i)
        if (const auto* option = windowOption(argv[i]);
            option && option->first == "platform" &&
            std::string_view(argv[i]).find('=') == std::string_view::npos)
            platform = argv[++i];
    return platform.substr(0, platform.find_first_of(";:"));
}

// Headless, the window options mean nothing and --headless is said: they are dropped, so that
// the rest reads as on the desktop.
void dropWindowOptions(int& argc, char** argv) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--headless") continue;
        if (const auto* option = windowOption(arg)) {
            if (option->second && arg.find('=') == std::string_view::npos && i + 1 < argc) ++i;
            continue;
        }
        argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
}

// Loads the desktop module and runs it; 1 when it cannot be loaded.
int runDesktop(int argc, char** argv, const std::string& program) {
    const std::string directory = program.substr(0, program.rfind('/') + 1);
    const std::string installed =
        directory + VEKTRIN_DESKTOP_FROM_BINDIR + "/" + vektrin::DesktopModule;
    const std::string built = directory + vektrin::DesktopModule;
    const bool inBuildTree =
        access(installed.c_str(), F_OK) != 0 && access(built.c_str(), F_OK) == 0;
    void* module = dlopen((inBuildTree ? built : installed).c_str(), RTLD_NOW | RTLD_LOCAL);
    void* entry = module ? dlsym(module, vektrin::DesktopEntry) : nullptr;
    if (!entry) {
        const char* why = dlerror();
        std::cerr << "vektrin: the desktop cannot be loaded: " << (why ? why : "no entry")
                  << "\nvektrin --headless runs the scheduler without it.\n";
        return 1;
    }
    return reinterpret_cast<vektrin::DesktopMain>(entry)(argc, argv);
}

} // namespace

int main(int argc, char** argv) {
    using namespace vektrin;
    if (const int status = answerOptions(argc, argv, false); status >= 0) return status;
    // A file that may grow no further (a size limit) fails its write like a full disk, which is
    // reported, instead of killing the scheduler.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::string program = programPath(argv[0]);
    // Offscreen and minimal show nothing anybody can see: headless too.
    const std::string platform = askedPlatform(argc, argv);
    const bool invisible = platform == "offscreen" || platform == "minimal";
    bool asked = false;
    for (int i = 1; i < argc; ++i)
        asked = asked || std::string_view(argv[i]) == "--headless";
    if (!asked && !invisible && (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY")))
        return runDesktop(argc, argv, program);

    dropWindowOptions(argc, argv);
    QCoreApplication app(argc, argv);
    if (const int status = answerOptions(argc, argv, true); status >= 0) return status;
    QCoreApplication::setApplicationName(plainText(str::ApplicationTitle));
    installChosenLanguage(app, program);

    SchedulerConfig config;
    for (int i = 1; i < argc; ++i)
        config.arguments.emplace_back(argv[i]);
    config.programPath = program;
    config.outputDirectory = defaultOutputRoot();
    config.stateDirectory = places::stateDirectory();
    config.findRunning = [](const std::string& tables) {
        return findRunningScheduler(tables, false);
    };
    // Started with --headless inside a desktop session, the tasks' windows are still looked after.
    HeadlessScheduler scheduler(std::move(config), isSet("DISPLAY") && !invisible);
    catchEndSignals(&scheduler, [&scheduler] { scheduler.closeMainWindow(); });
    if (const int status = scheduler.start(); status >= 0) return status;
    return serveScheduler(
        app, scheduler.scheduler(), &scheduler, [&scheduler] { return scheduler.isShutDown(); },
        [&scheduler] { scheduler.shutdown(); });
}
