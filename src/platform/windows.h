#pragma once
// Top-level windows of the desktop, as far as the monitoring pass and the grid menu need them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vektrin {

using WindowId = std::uint32_t; // 0 = no window

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;
    // Client windows from the top of the stacking order down; empty without a display.
    virtual std::vector<WindowId> topLevelWindows() = 0;
    virtual bool hasOwner(WindowId window) = 0;
    virtual std::string title(WindowId window) = 0;
    virtual std::uint32_t processId(WindowId window) = 0; // 0 when unknown
    virtual void setTitle(WindowId window, const std::string& title) = 0;
    virtual bool isVisible(WindowId window) = 0;
    virtual void show(WindowId window) = 0;
    virtual void hide(WindowId window) = 0;
    // The task's window mode, applied once when its window is first found.
    virtual void applyRunType(WindowId window, int runType) = 0;
    virtual void flush() = 0;
};

// Connects to $DISPLAY; without a reachable X server every call is a harmless no-op.
std::unique_ptr<WindowSystem> makeX11WindowSystem();
// A window system with no windows at all.
std::unique_ptr<WindowSystem> makeNullWindowSystem();

} // namespace vektrin
