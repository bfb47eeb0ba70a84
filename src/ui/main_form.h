#pragma once
// The main window: owns the scheduler, its timers and the platform pieces, and is the operator
// interface the scheduler talks to.

#include "engine/scheduler.h"

#include <QMainWindow>
#include <QTimer>
#include <memory>

namespace vektrin {

struct MainFormOptions {
    std::vector<std::string> arguments;
    std::string programPath;
};

class TMainForm : public QMainWindow, public OperatorPort {
    Q_OBJECT
public:
    explicit TMainForm(MainFormOptions options, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Runs the start-up sequence. Returns -1 when the scheduler runs, else the exit status.
    int start();
    Scheduler& scheduler() { return *scheduler_; }

    // Runs the shutdown sequence once, from whichever way the program ends.
    void shutdown();
    bool isShutDown() const { return shutDown_; }

    // OperatorPort
    void showMessage(std::string_view text, MessageKind kind) override;
    void setIcon(std::string_view name) override;
    void paintStatusColor(int colour) override;
    void setApplicationTitle(const std::string& title) override;
    void setTimer1Enabled(bool enabled) override;
    void startTimer2(int firstDelayMs) override;
    void stopTimer2() override;
    void setBusyCursor(bool busy) override;
    void closeMainWindow() override;

    // Whether message boxes are answered at once (no screen anybody can see).
    static bool headless();

    QTimer Timer1;
    QTimer Timer2;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Timer1Timer();
    void Timer2Timer();
    // Runs a handler of the scheduler; an error it did not catch goes to the general error report,
    // a fatal one ends the process.
    template <class F> void guarded(F&& handler);

    MainFormOptions options_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<ProcessControl> processes_;
    std::unique_ptr<WindowSystem> windows_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<Scheduler> scheduler_;
    std::string currentIcon_;
    int statusColour_ = StatusNeutral;
    bool shutDown_ = false;
    bool started_ = false;
};

} // namespace vektrin
