#pragma once
// The scheduler without a screen, on a core application: every message box is one line on
// standard error, answered OK at once, the notices are lines too, and the monitoring timer is a
// QTimer, the scheduling one on the wall clock. QtCore alone, so that a scheduler started as a
// service never loads the widgets.

#include "engine/scheduler.h"
#include "platform/clock.h"
#include "platform/settings_store.h"
#include "ui/wall_clock_timer.h"

#include <QObject>
#include <QTimer>
#include <memory>

namespace vektrin {

class HeadlessScheduler final : public QObject, public OperatorPort {
  public:
    // windowsOnDisplay: the tasks' windows are on the X display of the environment, where their
    // titles and window modes are looked after as on the desktop.
    HeadlessScheduler(SchedulerConfig config, bool windowsOnDisplay);
    ~HeadlessScheduler() override;

    // Runs the start-up sequence. Returns -1 when the scheduler runs, else the exit status.
    int start();
    Scheduler& scheduler() { return *scheduler_; }
    // Runs the shutdown sequence once, from whichever way the program ends.
    void shutdown();
    bool isShutDown() const { return shutDown_; }

    // OperatorPort
    void showMessage(std::string_view text, MessageKind kind) override;
    void showText(const OperatorText& text, MessageKind kind) override;
    void setIcon(std::string_view) override {}
    void paintStatusColor(int) override {}
    void setApplicationTitle(const std::string& title) override;
    void setTimer1Enabled(bool enabled) override;
    void startTimer2(int firstDelayMs) override;
    void startTimer2At(std::int64_t utcMs, int firstDelayMs) override;
    void stopTimer2() override;
    void setBusyCursor(bool) override {}
    void closeMainWindow() override;
    void notifyFailure(const TaskNotice& notice) override;
    void notifyProtocol(const ProtocolNotice& notice) override;
    void slotWaitsChanged(bool waiting) override;

  private:
    SystemClock clock_;
    std::unique_ptr<ProcessControl> processes_;
    std::unique_ptr<WindowSystem> windows_;
    SettingsStore settings_;
    std::unique_ptr<Scheduler> scheduler_;
    QTimer timer1_;
    QTimer slotTimer_; // while tasks wait for a running slot
    WallClockTimer timer2_;
    bool started_ = false;
    bool shutDown_ = false;
};

} // namespace vektrin
