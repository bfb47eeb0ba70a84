#pragma once
// The main window: owns the scheduler, its timers and the platform pieces, and is the operator
// interface the scheduler talks to: the task grid and its menu, the buttons, the tray icon and its
// menu, and the opening of the editors and the protocol viewer.

#include "engine/scheduler.h"
#include "ui/wall_clock_timer.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QAction;
class QDialog;
class QMenu;
class QPushButton;
class QHBoxLayout;

class QMessageBox;

namespace vektrin {

class TaskGridModel;
class TDBGrid;
class TOutputForm;
class TProtocolForm;
class TTimelineForm;
class TTrayIcon;

struct MainFormOptions {
    std::vector<std::string> arguments;
    std::string programPath;
    // The scheduler of ours already on the tables, asked to bring its window forward.
    std::function<std::optional<RunningScheduler>(const std::string&)> findRunning;
};

// What a test puts in place of the machine: clock, processes, windows, settings, regional
// settings and where the scheduler finds its files.
struct MainFormPlatform {
    Clock& clock;
    ProcessControl& processes;
    WindowSystem& windows;
    SettingsStore& settings;
    RegionalSettings regional;
    SchedulerConfig config;
};

class TMainForm : public QMainWindow, public OperatorPort {
    Q_OBJECT
  public:
    explicit TMainForm(MainFormOptions options, QWidget* parent = nullptr);
    explicit TMainForm(MainFormPlatform platform, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Runs the start-up sequence. Returns -1 when the scheduler runs, else the exit status.
    int start();
    Scheduler& scheduler() { return *scheduler_; }

    // Runs the shutdown sequence once, from whichever way the program ends.
    void shutdown();
    bool isShutDown() const { return shutDown_; }

    // OperatorPort
    void showMessage(std::string_view text, MessageKind kind) override;
    void showText(const OperatorText& text, MessageKind kind) override;
    // Shown without waiting: the passes go on while it is open.
    void showPassMessage(const PassMessage& message) override;
    void setIcon(std::string_view name) override;
    void paintStatusColor(int colour) override;
    void setApplicationTitle(const std::string& title) override;
    void setTimer1Enabled(bool enabled) override;
    void startTimer2(int firstDelayMs) override;
    void startTimer2At(std::int64_t utcMs, int firstDelayMs) override;
    void stopTimer2() override;
    void setBusyCursor(bool busy) override;
    void closeMainWindow() override;
    void protocolChanged() override;
    // On the desktop a notification of the tray icon (a click on it opens the output viewer);
    // without one, a line on standard error.
    void notifyFailure(const TaskNotice& notice) override;
    // The same ways; the lines the protocol never took go to standard error, as the program ends.
    void notifyProtocol(const ProtocolNotice& notice) override;
    void slotWaitsChanged(bool waiting) override;
    // A notification's text in the interface's language: what happened, then the run's last line
    // as it was printed.
    static QString noticeText(const TaskNotice& notice);

    // Whether message boxes are answered at once (no screen anybody can see).
    static bool headless();

    // Event handlers of the buttons and menus.
    void TaskParametersClick() { openPauseWindow(PauseWindow::Tasks); }
    void ConflResClick() { openPauseWindow(PauseWindow::ResourcesEdit); }
    void ExceptionClick() { openPauseWindow(PauseWindow::ConflictsEdit); }
    void ProtocolBtnClick() { openPauseWindow(PauseWindow::ProtocolShow); }
    void ExitBtnClick();
    void PopupMenu1Popup();
    void RunNowClick();
    void InterruptClick();
    void CancelWaitingClick();
    void VisualizeClick();
    void ResumeClick();
    void ShowMainFormClick();
    // Shows the main window in front of the others (a second start asked for it).
    void bringForward();
    // After the first start made the tables: the window shows, and where there is a notification
    // area one notification says that Vektrin lives there.
    void welcome();
    void TrayIcon1DblClick() { ShowMainFormClick(); }
    // Opens the timeline window (or brings it forward, read anew); scheduling goes on meanwhile.
    void TimelineClick();
    // Makes the task of a timeline lane the grid's current record; false while an editor is open
    // or the task is gone.
    bool selectTimelineTask(qint64 record, qint64 appId);
    // The output viewer on the selected task, and on the task of the last notification.
    void OutputClick();
    void NoticeClick();
    // F1: the manual in the desktop's browser; the About box; a language for the next start.
    void HelpClick();
    void AboutClick();
    void chooseLanguage(bool russian);
    // The manual's first page: the installed one, else the one built beside the program.
    static QString manualPage();

    // Where an editor comes from; a factory that gives nothing leaves its commands disabled.
    using EditorFactory = std::function<std::unique_ptr<QDialog>(Scheduler&, QWidget*)>;
    void setEditorFactory(PauseWindow window, EditorFactory factory);

    // The scheduling-state colour the indicator shows (StatusNeutral before the first).
    int statusColour() const { return statusColour_; }
    // Whether the icon lives in a notification area (else the main window stands in for it).
    bool trayAvailable() const { return trayAvailable_; }
    QAction* trayItem(PauseWindow window) const;

    QTimer Timer1;
    QTimer Timer2;
    QTimer SlotTimer; // while tasks wait for a running slot

    TDBGrid* DBGrid1 = nullptr;
    QPushButton* TasksBtn = nullptr;
    QPushButton* ResourcesBtn = nullptr;
    QPushButton* ExceptionBtn = nullptr;
    QPushButton* ProtocolBtn = nullptr;
    QPushButton* BitBtn1 = nullptr;

    QMenu* PopupMenu1 = nullptr;
    QAction* TaskParameters = nullptr;
    QAction* ConflRes = nullptr;
    QAction* RunNow = nullptr;
    QAction* Interrupt = nullptr;
    QAction* CancelWaiting = nullptr;
    QAction* Visualize = nullptr;
    QAction* Resume = nullptr;
    QAction* Timeline = nullptr;
    QAction* Output = nullptr;

    // Not a child of the main window: it must stay usable while an editor blocks the window.
    std::unique_ptr<QMenu> PopupMenu2;
    QAction* ShowMainForm = nullptr;
    QAction* Tasks = nullptr;
    QAction* ResourcesEdit = nullptr;
    QAction* ConflictsEdit = nullptr;
    QAction* ProtocolShow = nullptr;
    QAction* TimelineShow = nullptr;
    QAction* TaskExit = nullptr;
    // In both menus, after the rest.
    QMenu* LanguageMenu = nullptr;
    QAction* LanguageEnglish = nullptr;
    QAction* LanguageRussian = nullptr;
    QAction* HelpItem = nullptr;
    QAction* AboutItem = nullptr;

    TTrayIcon* TrayIcon1 = nullptr;
    TProtocolForm* ProtocolForm = nullptr;
    TTimelineForm* TimelineForm = nullptr; // made when first asked for
    TOutputForm* OutputForm = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;
    // An OK/Cancel question; headless it is answered OK.
    virtual bool confirm(const QString& text);
    // The window a message box opens over.
    QWidget* messageParent();

    // The boxes of the passes open now, by task and text.
    QMessageBox* passBox(std::int32_t appId, std::string_view text) const;

  private:
    void showBox(const QString& text, MessageKind kind);
    void init(Clock& clock, ProcessControl& processes, WindowSystem& windows,
              SettingsStore& settings, RegionalSettings regional, SchedulerConfig config);
    void buildWindow();
    void buildMenus();
    void createGrid();
    void updateEditorCommands();
    void openPauseWindow(PauseWindow window);
    void deleteTask();
    void Timer1Timer();
    void Timer2Timer();
    // Runs a handler of the scheduler; an error it did not catch goes to the general error report,
    // a fatal one ends the process.
    template <class F> void guarded(F&& handler);

    MainFormOptions options_;
    std::unique_ptr<Clock> clock_;
    double clockRate_ = 1.0;
    std::unique_ptr<WallClockTimer> wallTimer2_; // on the system's clock, in place of Timer2
    std::unique_ptr<ProcessControl> processes_;
    std::unique_ptr<WindowSystem> windows_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<Scheduler> scheduler_;
    TaskGridModel* gridModel_ = nullptr;
    QHBoxLayout* mainLayout_ = nullptr;
    std::array<EditorFactory, 3> editorFactories_;
    std::array<bool, 3> editorAvailable_{};
    std::string currentIcon_;
    int statusColour_ = StatusNeutral;
    // Windows of the opening sequence open now; nested ones come from the tray menu.
    int openWindows_ = 0;
    int openEditors_ = 0; // of them, the editors
    bool trayAvailable_ = false;
    bool shutDown_ = false;
    bool started_ = false;
    TaskNotice lastNotice_;                     // what the tray icon's notification speaks of
    std::optional<ProtocolNotice> startNotice_; // said by start-up, shown once the tray is there
    struct PassBox {
        QPointer<QMessageBox> box;
        QString text;  // as first shown
        QString since; // the minute it was first raised
        int times = 1;
    };
    std::map<std::pair<std::int32_t, std::string>, PassBox> passBoxes_;
};

} // namespace vektrin
