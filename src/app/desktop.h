#pragma once
// The desktop module: the scheduler with its tray icon and main window, loaded by the vektrin
// program only where there is a display, so that a headless scheduler never maps the widgets.

namespace vektrin {

// The module's file: beside the program in the build tree, in the library directory when
// installed.
inline constexpr char DesktopModule[] = "vektrin-desktop.so";
inline constexpr char DesktopEntry[] = "vektrinDesktopMain";
using DesktopMain = int (*)(int argc, char** argv);

} // namespace vektrin

// Runs the desktop on the program's arguments, from the start of the program's main; returns the
// exit status.
extern "C" __attribute__((visibility("default"))) int vektrinDesktopMain(int argc, char** argv);
