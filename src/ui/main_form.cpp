#include "ui/main_form.h"

#include "engine/handler_guard.h"
#include "platform/run_output.h"
#include "platform/strings.h"
#include "platform/version.h"
#include "ui/busy_cursor.h"
#include "ui/editors.h"
#include "ui/form_widgets.h"
#include "ui/keyboard.h"
#include "ui/operator_lines.h"
#include "ui/output_form.h"
#include "ui/protocol_form.h"
#include "ui/task_grid.h"
#include "ui/timeline_form.h"
#include "ui/tray_icon.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace vektrin {
namespace {

// The window's first width and the button panel's, from which the grid's columns are sized.
constexpr int DefaultWidth = 685;
constexpr int PanelWidth = 100;

int index(PauseWindow w) {
    return static_cast<int>(w);
}

// The colour values are blue, green and red bytes from high to low.
QColor fromColourValue(int value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

} // namespace

TMainForm::TMainForm(MainFormOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
    clock_ = std::make_unique<SystemClock>();
    processes_ = makePosixProcessControl();
    windows_ =
        QGuiApplication::platformName() == "xcb" ? makeX11WindowSystem() : makeNullWindowSystem();
    settings_ = std::make_unique<SettingsStore>();
    SchedulerConfig config;
    config.arguments = options_.arguments;
    config.programPath = options_.programPath;
    config.outputDirectory = defaultOutputRoot();
    config.findRunning = options_.findRunning;
    init(*clock_, *processes_, *windows_, *settings_, RegionalSettings::fromLocale(), config);
}

TMainForm::TMainForm(MainFormPlatform platform, QWidget* parent) : QMainWindow(parent) {
    init(platform.clock, platform.processes, platform.windows, platform.settings,
         std::move(platform.regional), std::move(platform.config));
}

void TMainForm::init(Clock& clock, ProcessControl& processes, WindowSystem& windows,
                     SettingsStore& settings, RegionalSettings regional, SchedulerConfig config) {
    setObjectName("MainForm");
    resize(DefaultWidth, 178);
    setWindowTitle(qs(str::ApplicationTitle));
    clockRate_ = clock.rate() > 0 ? clock.rate() : 1.0;
    // On the system's clock the scheduling timer times on the wall clock itself; a test's clock
    // keeps the plain timer.
    if (dynamic_cast<SystemClock*>(&clock))
        wallTimer2_ = std::make_unique<WallClockTimer>([this] { Timer2Timer(); });
    Timer1.setObjectName("Timer1");
    Timer1.setInterval(std::max(1, static_cast<int>(std::lround(1000 / clockRate_))));
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer2.setObjectName("Timer2");
    Timer2.setSingleShot(true);
    Timer2.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    connect(&Timer2, &QTimer::timeout, this, &TMainForm::Timer2Timer);
    SlotTimer.setInterval(std::max(1, static_cast<int>(std::lround(SlotCheckMs / clockRate_))));
    connect(&SlotTimer, &QTimer::timeout, this,
            [this] { guarded([this] { scheduler_->slotCheck(); }); });

    editorFactories_ = {createTaskEditor, createResourceEditor, createExceptionEditor};
    scheduler_ = std::make_unique<Scheduler>(clock, processes, windows, *this, settings,
                                             std::move(regional), std::move(config));
    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->setIconName("XICON1");
    connect(TrayIcon1, &TTrayIcon::doubleClicked, this, &TMainForm::TrayIcon1DblClick);
    connect(TrayIcon1, &QSystemTrayIcon::messageClicked, this, &TMainForm::NoticeClick);
    buildWindow();
    buildMenus();
    TrayIcon1->setContextMenu(PopupMenu2.get());
    ProtocolForm = new TProtocolForm(*scheduler_, this);
    OutputForm = new TOutputForm(*scheduler_, this);
    updateEditorCommands();
}

TMainForm::~TMainForm() {
    Timer1.stop();
    SlotTimer.stop();
    stopTimer2();
    // The grid watches the task table and the viewer reads through the scheduler: both go before
    // the scheduler and its tables do.
    delete DBGrid1;
    delete gridModel_;
    delete ProtocolForm;
    delete TimelineForm;
    delete OutputForm;
    delete TrayIcon1;
}

void TMainForm::buildWindow() {
    auto* central = new QWidget(this);
    mainLayout_ = new QHBoxLayout(central);
    mainLayout_->setContentsMargins(0, 0, 0, 0);
    mainLayout_->setSpacing(0);

    auto* panel = new QWidget(central);
    panel->setObjectName("Panel1");
    panel->setFixedWidth(PanelWidth);
    auto* buttons = new QVBoxLayout(panel);
    buttons->setContentsMargins(7, 4, 7, 4);
    auto makeButton = [&](const char* name, std::string_view caption, std::string_view hint,
                          QStyle::StandardPixmap glyph) {
        auto* b = new QPushButton(style()->standardIcon(glyph), qs(caption), panel);
        b->setObjectName(name);
        b->setToolTip(qs(hint));
        b->setFixedWidth(86);
        b->setMinimumHeight(23);
        b->setAutoDefault(false);
        return b;
    };
    TasksBtn = makeButton("TasksBtn", str::TasksBtnCaption, str::TasksBtnHint,
                          QStyle::SP_FileDialogDetailedView);
    ResourcesBtn = makeButton("ResourcesBtn", str::ResourcesBtnCaption, str::ResourcesBtnHint,
                              QStyle::SP_DriveHDIcon);
    ExceptionBtn = makeButton("ExceptionBtn", str::ExceptionBtnCaption, str::ExceptionBtnHint,
                              QStyle::SP_MediaPause);
    ProtocolBtn = makeButton("ProtocolBtn", str::ProtocolBtnCaption, str::ProtocolBtnHint,
                             QStyle::SP_FileDialogContentsView);
    BitBtn1 =
        makeButton("BitBtn1", str::ExitBtnCaption, str::ExitBtnHint, QStyle::SP_DialogCloseButton);
    buttons->addWidget(TasksBtn);
    buttons->addWidget(ResourcesBtn);
    buttons->addWidget(ExceptionBtn);
    buttons->addWidget(ProtocolBtn);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    giveMnemonics({TasksBtn, ResourcesBtn, ExceptionBtn, ProtocolBtn, BitBtn1});
    connect(TasksBtn, &QPushButton::clicked, this, &TMainForm::TaskParametersClick);
    connect(ResourcesBtn, &QPushButton::clicked, this, &TMainForm::ConflResClick);
    connect(ExceptionBtn, &QPushButton::clicked, this, &TMainForm::ExceptionClick);
    connect(ProtocolBtn, &QPushButton::clicked, this, &TMainForm::ProtocolBtnClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TMainForm::ExitBtnClick);

    mainLayout_->addWidget(panel);
    setCentralWidget(central);
}

void TMainForm::buildMenus() {
    auto action = [this](QMenu* menu, const char* name, std::string_view caption,
                         void (TMainForm::*click)()) {
        QAction* a = menu->addAction(qs(caption));
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, click);
        return a;
    };
    auto separator = [](QMenu* menu, const char* name) {
        menu->addSeparator()->setObjectName(name);
    };

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    TaskParameters = action(PopupMenu1, "TaskParameters", str::MenuTaskParameters,
                            &TMainForm::TaskParametersClick);
    ConflRes =
        action(PopupMenu1, "ConflRes", str::MenuConflictingResources, &TMainForm::ConflResClick);
    separator(PopupMenu1, "N4");
    RunNow = action(PopupMenu1, "RunNow", str::MenuRunNow, &TMainForm::RunNowClick);
    Interrupt = action(PopupMenu1, "Interrupt", str::MenuInterrupt, &TMainForm::InterruptClick);
    CancelWaiting =
        action(PopupMenu1, "CancelWaiting", str::MenuCancelWaiting, &TMainForm::CancelWaitingClick);
    Visualize = action(PopupMenu1, "Visualize", str::MenuUnhide, &TMainForm::VisualizeClick);
    separator(PopupMenu1, "N6");
    Resume = action(PopupMenu1, "Resume", str::MenuSuspend, &TMainForm::ResumeClick);
    separator(PopupMenu1, "N7");
    Timeline = action(PopupMenu1, "Timeline", str::MenuTimeline, &TMainForm::TimelineClick);
    Output = action(PopupMenu1, "Output", str::MenuOutput, &TMainForm::OutputClick);
    connect(PopupMenu1, &QMenu::aboutToShow, this, &TMainForm::PopupMenu1Popup);

    PopupMenu2 = std::make_unique<QMenu>();
    PopupMenu2->setObjectName("PopupMenu2");
    ShowMainForm = action(PopupMenu2.get(), "ShowMainForm", str::MenuShowMainForm,
                          &TMainForm::ShowMainFormClick);
    separator(PopupMenu2.get(), "N5");
    Tasks = action(PopupMenu2.get(), "Tasks", str::MenuTasks, &TMainForm::TaskParametersClick);
    ResourcesEdit =
        action(PopupMenu2.get(), "ResourcesEdit", str::MenuConflicts, &TMainForm::ConflResClick);
    ConflictsEdit =
        action(PopupMenu2.get(), "ConflictsEdit", str::MenuExceptions, &TMainForm::ExceptionClick);
    ProtocolShow =
        action(PopupMenu2.get(), "ProtocolShow", str::MenuProtocol, &TMainForm::ProtocolBtnClick);
    TimelineShow =
        action(PopupMenu2.get(), "TimelineShow", str::MenuTimeline, &TMainForm::TimelineClick);
    separator(PopupMenu2.get(), "N8");
    separator(PopupMenu2.get(), "N2");
    TaskExit = action(PopupMenu2.get(), "TaskExit", str::MenuExit, &TMainForm::ExitBtnClick);

    // Language, Help and About close the grid menu and the tray menu (before Exit there).
    LanguageMenu = new QMenu(qs(str::MenuLanguage), this);
    LanguageMenu->setObjectName("LanguageMenu");
    LanguageMenu->menuAction()->setObjectName("Language");
    auto* languages = new QActionGroup(LanguageMenu);
    LanguageEnglish = LanguageMenu->addAction(qs(str::MenuLanguageEnglish));
    LanguageEnglish->setObjectName("LanguageEnglish");
    LanguageRussian = LanguageMenu->addAction(qs(str::MenuLanguageRussian));
    LanguageRussian->setObjectName("LanguageRussian");
    // The language the interface speaks now is the checked one.
    const bool russian = qs(str::MenuLanguage) != QLatin1String(str::MenuLanguage.data());
    for (QAction* a : {LanguageEnglish, LanguageRussian}) {
        a->setCheckable(true);
        a->setChecked(russian == (a == LanguageRussian));
        languages->addAction(a);
        connect(a, &QAction::triggered, this, [this, a] { chooseLanguage(a == LanguageRussian); });
    }
    HelpItem = new QAction(qs(str::MenuHelp), this);
    HelpItem->setObjectName("HelpItem");
    HelpItem->setShortcut(QKeySequence::HelpContents);
    connect(HelpItem, &QAction::triggered, this, &TMainForm::HelpClick);
    addAction(HelpItem); // F1 with the menus closed
    AboutItem = new QAction(qs(str::MenuAbout), this);
    AboutItem->setObjectName("AboutItem");
    connect(AboutItem, &QAction::triggered, this, &TMainForm::AboutClick);
    separator(PopupMenu1, "N9");
    for (QMenu* menu : {PopupMenu1, PopupMenu2.get()}) {
        QAction* before = menu == PopupMenu1 ? nullptr : menu->findChild<QAction*>("N2");
        menu->insertMenu(before, LanguageMenu);
        menu->insertActions(before, {HelpItem, AboutItem});
    }
}

void TMainForm::createGrid() {
    gridModel_ = new TaskGridModel(scheduler_->dataCtrl(), scheduler_->regional(), this);
    DBGrid1 = new TDBGrid(*gridModel_, centralWidget());
    QHeaderView* header = DBGrid1->horizontalHeader();
    QStyle* style = DBGrid1->style();
    // A cell shows its text between two margins, left of the grid line.
    const QFontMetrics metrics(DBGrid1->font());
    const int padding =
        2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, DBGrid1) + 1) + 1;
    // The date and time columns never cut their text, whatever the date format's length.
    const DateTime sample = *tryEncodeDate(2026, 12, 28) + *tryEncodeTime(23, 58, 58);
    const int dateWidth = std::max(
        55,
        metrics.horizontalAdvance(plainText(scheduler_->regional().formatDate(sample))) + padding);
    const int timeWidth = std::max(
        55,
        metrics.horizontalAdvance(plainText(scheduler_->regional().formatTime(sample))) + padding);
    // The task column holds a name of 40 characters (the field's size) of ordinary text, as far
    // as the status column's title stays in view at the window's first width with a vertical
    // scroll bar, and never less than 260 pixels. Where the font leaves less room than that (by
    // more than the estimate's pixel or two), the window opens wider.
    const int letters = metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
    const int fortyCharacters = (40 * letters + 25) / 26 + padding;
    const QString statusTitle =
        gridModel_->headerData(TaskGridModel::Sost, Qt::Horizontal, Qt::DisplayRole).toString();
    // Left-aligned: its margin on the left, then the words.
    const int statusTitleWidth = style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) +
                                 QFontMetrics(header->font()).horizontalAdvance(statusTitle) + 1;
    const int available =
        DefaultWidth - PanelWidth - 2 * DBGrid1->frameWidth() -
        style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, DBGrid1->verticalScrollBar()) -
        dateWidth - timeWidth - statusTitleWidth;
    int taskWidth = std::max(260, std::min(fortyCharacters, available));
    if (!isVisible() && (fortyCharacters - 2 > available || taskWidth > available)) {
        taskWidth = std::max(260, fortyCharacters);
        resize(DefaultWidth + taskWidth - available, height());
    }
    header->resizeSection(TaskGridModel::AppName, taskWidth);
    header->resizeSection(TaskGridModel::LastDate, dateWidth);
    header->resizeSection(TaskGridModel::LastTime, timeWidth);
    DBGrid1->setLastColumnMinimum(400);
    mainLayout_->insertWidget(0, DBGrid1, 1);
    // Ctrl+Tab leaves the grid (its Tab moves between cells) for the buttons, top to bottom.
    setTabChain({DBGrid1, TasksBtn, ResourcesBtn, ExceptionBtn, ProtocolBtn, BitBtn1});
    connect(DBGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(pos));
    });
    connect(DBGrid1, &TDBGrid::deleteRequested, this, &TMainForm::deleteTask);
    connect(DBGrid1, &TDBGrid::moveFailed, this,
            [this](const QString& text) { scheduler_->reportError(text.toStdString()); });
}

int TMainForm::start() {
    if (const int status = startScheduler(*scheduler_); status >= 0) return status;
    started_ = true;
    createGrid();
    updateEditorCommands();
    trayAvailable_ = QSystemTrayIcon::isSystemTrayAvailable();
    if (trayAvailable_) {
        TrayIcon1->show();
    } else {
        // Without a notification area the window is the only way in: it shows, and closing it
        // asks first.
        ShowMainFormClick();
    }
    if (startNotice_) notifyProtocol(*startNotice_);
    return -1;
}

template <class F> void TMainForm::guarded(F&& handler) {
    guardHandler(*scheduler_, std::forward<F>(handler));
}

void TMainForm::Timer1Timer() {
    guarded([this] { scheduler_->Timer1Timer(); });
}

void TMainForm::Timer2Timer() {
    guarded([this] { scheduler_->Timer2Timer(); });
}

void TMainForm::shutdown() {
    if (shutDown_ || !started_) return;
    shutDown_ = true;
    Timer1.stop();
    SlotTimer.stop();
    Timer2.stop();
    guarded([this] { scheduler_->FormClose(); });
    TrayIcon1->hide();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (started_ && !shutDown_ && !trayAvailable_ && !confirm(qs(str::NoTrayExitQuestion))) {
        event->ignore();
        return;
    }
    shutdown();
    event->accept();
    QCoreApplication::quit();
}

void TMainForm::closeMainWindow() {
    shutdown();
    close();
    QCoreApplication::quit();
}

// ------------------------------------------------------------------ messages

void TMainForm::showMessage(std::string_view text, MessageKind kind) {
    // Nobody can answer a box here: one line on standard error, answered OK at once.
    if (headless()) return writeMessageLine(text);
    showBox(messageText(text), kind);
}

void TMainForm::showText(const OperatorText& text, MessageKind kind) {
    if (headless()) return writeMessageLine(text);
    showBox(operatorText(text), kind);
}

namespace {

QMessageBox::Icon boxIcon(MessageKind kind) {
    return kind == MessageKind::Error         ? QMessageBox::Critical
           : kind == MessageKind::Information ? QMessageBox::Information
                                              : QMessageBox::NoIcon;
}

QString boxCaption(MessageKind kind) {
    return kind == MessageKind::Information ? QCoreApplication::translate("Vektrin", "Information")
                                            : QCoreApplication::applicationName();
}

} // namespace

void TMainForm::showBox(const QString& qtext, MessageKind kind) {
    QMessageBox box(boxIcon(kind), boxCaption(kind), qtext, QMessageBox::Ok, messageParent());
    box.exec();
}

void TMainForm::showPassMessage(const PassMessage& message) {
    if (headless()) return writeMessageLine(message.text);
    const auto key = std::make_pair(message.appId, message.text);
    auto found = passBoxes_.find(key);
    if (found != passBoxes_.end() && found->second.box) {
        PassBox& open = found->second;
        ++open.times;
        open.box->setText(open.text + "\n\n" +
                          qs(str::BoxRepeated).arg(open.times).arg(open.since));
        return;
    }
    PassBox open;
    open.text = messageText(message.text);
    const TimeParts since = decodeTime(message.moment);
    open.since = QString::asprintf("%02d:%02d", since.hour, since.minute);
    auto* box = new QMessageBox(boxIcon(message.kind), boxCaption(message.kind), open.text,
                                QMessageBox::Ok, messageParent());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    open.box = box;
    passBoxes_[key] = open;
    connect(box, &QDialog::finished, this, [this, key] { passBoxes_.erase(key); });
    box->show();
}

QMessageBox* TMainForm::passBox(std::int32_t appId, std::string_view text) const {
    const auto found = passBoxes_.find({appId, std::string(text)});
    return found == passBoxes_.end() ? nullptr : found->second.box.data();
}

bool TMainForm::confirm(const QString& text) {
    if (headless()) return true;
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok | QMessageBox::Cancel, messageParent());
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

QWidget* TMainForm::messageParent() {
    // A message comes from the window in front: an editor, the viewer or a report preview while
    // one is open (all modal), else the main window when it is shown. A box opens over it.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible())
        return modal;
    return isVisible() ? this : nullptr;
}

bool TMainForm::headless() {
    const QString p = QGuiApplication::platformName();
    return p == "offscreen" || p == "minimal";
}

// ------------------------------------------------------------------ indicators

void TMainForm::setIcon(std::string_view name) {
    currentIcon_ = std::string(name);
    TrayIcon1->setIconName(name);
    setWindowIcon(TrayIcon1->icon());
}

void TMainForm::paintStatusColor(int colour) {
    statusColour_ = colour;
    QPalette palette = ExceptionBtn->palette();
    if (colour == StatusNeutral)
        palette = QApplication::palette(ExceptionBtn);
    else
        palette.setColor(QPalette::ButtonText,
                         colour == StatusYellow ? amber() : fromColourValue(colour));
    ExceptionBtn->setPalette(palette);
}

void TMainForm::setApplicationTitle(const std::string& title) {
    QCoreApplication::setApplicationName(plainText(title));
    setWindowTitle(plainText(title));
    TrayIcon1->setToolTipText(plainText(title));
}

void TMainForm::slotWaitsChanged(bool waiting) {
    if (!waiting)
        SlotTimer.stop();
    else if (!shutDown_ && !SlotTimer.isActive())
        SlotTimer.start();
}

void TMainForm::setTimer1Enabled(bool enabled) {
    // An inner window of the opening sequence closing while an outer one is still open would
    // restart the passes under the outer editor: they wait until the last window closes.
    if (enabled && openWindows_ > 1) return;
    if (enabled)
        Timer1.start();
    else
        Timer1.stop();
}

void TMainForm::startTimer2(int firstDelayMs) {
    Timer2.start(std::max(1, static_cast<int>(std::lround(firstDelayMs / clockRate_))));
}

void TMainForm::startTimer2At(std::int64_t utcMs, int firstDelayMs) {
    if (!wallTimer2_) return startTimer2(firstDelayMs);
    wallTimer2_->start(utcMs, firstDelayMs);
}

void TMainForm::stopTimer2() {
    if (wallTimer2_) wallTimer2_->stop();
    Timer2.stop();
}

void TMainForm::setBusyCursor(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void TMainForm::protocolChanged() {
    if (ProtocolForm) ProtocolForm->StringsDestroy();
}

// ------------------------------------------------------------------ editors and the viewer

QAction* TMainForm::trayItem(PauseWindow window) const {
    switch (window) {
    case PauseWindow::Tasks:
        return Tasks;
    case PauseWindow::ResourcesEdit:
        return ResourcesEdit;
    case PauseWindow::ConflictsEdit:
        return ConflictsEdit;
    case PauseWindow::ProtocolShow:
        return ProtocolShow;
    }
    return nullptr;
}

void TMainForm::setEditorFactory(PauseWindow window, EditorFactory factory) {
    if (window == PauseWindow::ProtocolShow) return;
    editorFactories_[static_cast<size_t>(index(window))] = std::move(factory);
    updateEditorCommands();
}

void TMainForm::updateEditorCommands() {
    // An editor that does not exist yet leaves its commands disabled. Asking needs the tables.
    if (started_) {
        for (size_t i = 0; i < editorFactories_.size(); ++i) {
            bool available = false;
            if (editorFactories_[i]) {
                try {
                    available = editorFactories_[i](*scheduler_, this) != nullptr;
                } catch (const std::exception&) {
                }
            }
            editorAvailable_[i] = available;
        }
    }
    const bool tasks = editorAvailable_[index(PauseWindow::Tasks)];
    const bool resources = editorAvailable_[index(PauseWindow::ResourcesEdit)];
    const bool exceptions = editorAvailable_[index(PauseWindow::ConflictsEdit)];
    TasksBtn->setEnabled(tasks);
    TaskParameters->setEnabled(tasks);
    ResourcesBtn->setEnabled(resources);
    ConflRes->setEnabled(resources);
    ExceptionBtn->setEnabled(exceptions);
    // Items of open windows stay disabled until their window closes.
    if (!scheduler_->windowOpen(PauseWindow::Tasks)) Tasks->setEnabled(tasks);
    if (!scheduler_->windowOpen(PauseWindow::ResourcesEdit)) ResourcesEdit->setEnabled(resources);
    if (!scheduler_->windowOpen(PauseWindow::ConflictsEdit)) ConflictsEdit->setEnabled(exceptions);
}

void TMainForm::openPauseWindow(PauseWindow window) {
    QAction* item = trayItem(window);
    if (!started_ || shutDown_ || !item->isEnabled()) return;
    item->setEnabled(false);
    ++openWindows_;
    // The timeline reads the tables an editor changes: it is not offered meanwhile, as the
    // editors are not (a timeline open already keeps its chart and ignores clicks).
    const bool editor = window != PauseWindow::ProtocolShow;
    if (editor) ++openEditors_;
    const auto offerTimeline = [this] {
        Timeline->setEnabled(openEditors_ == 0);
        TimelineShow->setEnabled(openEditors_ == 0);
    };
    offerTimeline();
    // Even when the begin line cannot be written the window opens: the operator still gets to
    // the tables, and the closing half below always runs.
    guarded([&] { scheduler_->beginPause(window); });
    if (window == PauseWindow::ProtocolShow) {
        ProtocolForm->setWindowModality(Qt::WindowModal);
        ProtocolForm->exec();
    } else {
        std::unique_ptr<QDialog> editor;
        {
            BusyCursor busy;
            guarded([&] {
                editor = editorFactories_[static_cast<size_t>(index(window))](*scheduler_, this);
            });
        }
        if (editor) {
            // Modal to the main window only, so the tray menu stays usable meanwhile.
            editor->setWindowModality(Qt::WindowModal);
            editor->exec();
        }
    }
    // A shutdown during the modal run has closed the protocol already.
    if (!shutDown_) guarded([&] { scheduler_->endPause(window); });
    --openWindows_;
    if (editor) --openEditors_;
    offerTimeline();
    item->setEnabled(window == PauseWindow::ProtocolShow ||
                     editorAvailable_[static_cast<size_t>(index(window))]);
}

// ------------------------------------------------------------------ commands

void TMainForm::ExitBtnClick() {
    guarded([this] { scheduler_->ExitBtnClick(); });
}

void TMainForm::PopupMenu1Popup() {
    if (!started_) return;
    TDataCtrl& d = scheduler_->dataCtrl();
    // Commands on a task need one; on an empty table they would make a record out of nothing.
    const bool hasTask = !d.Table1.isEmpty() && d.Table1.state() != Table::State::Insert;
    RunNow->setEnabled(hasTask);
    Interrupt->setEnabled(hasTask);
    Resume->setEnabled(hasTask);
    Resume->setText(
        qs(hasTask && d.Table1Stopped.asBoolean() ? str::MenuResume : str::MenuSuspend));
    CancelWaiting->setVisible(hasTask && completionCode(d.Table1EndCode) ==
                                             CompletionCode::WaitingForResources);
    const int slot = hasTask ? scheduler_->RunningTasks.AppIndex(
                                   static_cast<std::int32_t>(d.Table1AppID.asInteger()))
                             : 0;
    Visualize->setVisible(slot != 0);
    if (slot != 0) {
        const WindowId window = scheduler_->RunningTasks.slot(slot).Window;
        Visualize->setText(qs(window != 0 && scheduler_->windows().isVisible(window)
                                  ? str::MenuHide
                                  : str::MenuUnhide));
    }
    Output->setVisible(hasTask && hasRuns(scheduler_->outputDirectory(),
                                          static_cast<std::int32_t>(d.Table1AppID.asInteger())));
}

void TMainForm::RunNowClick() {
    if (scheduler_->dataCtrl().Table1.isEmpty()) return;
    guarded([this] { scheduler_->RunNowClick(); });
}

void TMainForm::InterruptClick() {
    if (scheduler_->dataCtrl().Table1.isEmpty()) return;
    guarded([this] { scheduler_->InterruptClick(); });
}

void TMainForm::CancelWaitingClick() {
    if (scheduler_->dataCtrl().Table1.isEmpty()) return;
    guarded([this] { scheduler_->CancelWaitingClick(); });
}

void TMainForm::VisualizeClick() {
    TDataCtrl& d = scheduler_->dataCtrl();
    if (d.Table1.isEmpty()) return;
    const int slot =
        scheduler_->RunningTasks.AppIndex(static_cast<std::int32_t>(d.Table1AppID.asInteger()));
    if (slot == 0) return;
    // Until the monitoring pass has found the task's window there is nothing to show or hide.
    const WindowId window = scheduler_->RunningTasks.slot(slot).Window;
    if (window == 0) return;
    WindowSystem& windows = scheduler_->windows();
    if (windows.isVisible(window))
        windows.hide(window);
    else
        windows.show(window);
    windows.flush();
}

void TMainForm::ResumeClick() {
    guarded([this] { scheduler_->StoppedInverting(); });
}

void TMainForm::ShowMainFormClick() {
    if (isVisible()) {
        hide();
    } else {
        show();
        if (!headless()) {
            raise();
            activateWindow();
        }
    }
    ShowMainForm->setText(qs(isVisible() ? str::MenuHideMainWindow : str::MenuShowMainWindow));
}

void TMainForm::bringForward() {
    if (!isVisible()) ShowMainFormClick();
    if (headless()) return;
    raise();
    activateWindow();
    // An editor or a viewer open over it stays in front of it.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

void TMainForm::welcome() {
    if (!isVisible()) ShowMainFormClick();
    if (headless() || !trayAvailable_ || !QSystemTrayIcon::supportsMessages()) return;
    lastNotice_ = {}; // a click on it opens no task's output
    TrayIcon1->showMessage(QCoreApplication::applicationName(), qs(str::FirstStartTrayNotice),
                           QSystemTrayIcon::Information, 15000);
}

void TMainForm::TimelineClick() {
    if (!started_ || shutDown_ || openEditors_ > 0) return;
    if (!TimelineForm) {
        TimelineForm = new TTimelineForm(
            scheduler_->dataCtrl(), scheduler_->regional(),
            [this] { return scheduler_->clock().now(); }, this);
        TimelineForm->setGapSource([this](DateTime) {
            return TTimelineForm::Gaps{scheduler_->recordedGaps(), scheduler_->catchUpDays()};
        });
        connect(TimelineForm, &TTimelineForm::taskChosen, this,
                [this](qint64 record, qint64 appId) { selectTimelineTask(record, appId); });
    }
    guarded([this] { TimelineForm->refresh(); });
    TimelineForm->show();
    if (!headless()) {
        TimelineForm->raise();
        TimelineForm->activateWindow();
    }
}

bool TMainForm::selectTimelineTask(qint64 record, qint64 appId) {
    // An editor works on the current record: the grid stays where it is until it closes.
    if (!started_ || shutDown_ || openWindows_ > 0) return false;
    Table& t = scheduler_->dataCtrl().Table1;
    // A pass held by its message box walks the table: moving it would move the pass.
    if (t.state() != Table::State::Browse || t.controlsDisabled()) return false;
    bool found = false;
    guarded([&] {
        const Table::Bookmark before = t.getBookmark();
        found = t.gotoBookmark(record) && scheduler_->dataCtrl().Table1AppID.asInteger() == appId;
        if (!found) t.gotoBookmark(before);
    });
    if (found && !isVisible()) ShowMainFormClick();
    return found;
}

void TMainForm::OutputClick() {
    TDataCtrl& d = scheduler_->dataCtrl();
    if (!started_ || d.Table1.isEmpty()) return;
    OutputForm->showTask(static_cast<std::int32_t>(d.Table1AppID.asInteger()),
                         d.Table1AppName.asString());
}

void TMainForm::NoticeClick() {
    // The icon's right button reports a click on a showing notification too, after opening the
    // menu; a viewer coming up then would close the menu at once.
    if (PopupMenu2->isVisible()) return;
    if (started_ && !shutDown_ && lastNotice_.appId != 0)
        OutputForm->showTask(lastNotice_.appId, lastNotice_.task);
}

QString TMainForm::noticeText(const TaskNotice& notice) {
    // The launch error's prefix is the protocol's, kept English there; here it reads as the
    // grid's status does.
    const std::string_view what = notice.what;
    const std::string_view prefix = str::LaunchErrorPrefix;
    QString text =
        what.substr(0, prefix.size()) == prefix
            ? qs(str::Sost12) + QStringLiteral(": ") + messageText(what.substr(prefix.size()))
            : messageText(what);
    if (!notice.lastLine.empty()) text += QLatin1Char('\n') + plainText(notice.lastLine);
    return text;
}

void TMainForm::notifyFailure(const TaskNotice& notice) {
    lastNotice_ = notice;
    if (headless() || !trayAvailable_ || !QSystemTrayIcon::supportsMessages()) {
        writeTaskNoticeLine(notice);
        return;
    }
    TrayIcon1->showMessage(plainText(notice.task), noticeText(notice), QSystemTrayIcon::Warning,
                           10000);
}

void TMainForm::notifyProtocol(const ProtocolNotice& notice) {
    using Kind = ProtocolNotice::Kind;
    if (!started_ && notice.kind != Kind::Unwritten && !headless()) {
        // Start-up has not yet learnt whether there is a notification area: the word waits for
        // it, unless the log took lines again meanwhile.
        if (notice.kind == Kind::Writable && startNotice_)
            startNotice_.reset();
        else
            startNotice_ = notice;
        return;
    }
    const QString text = protocolNoticeText(notice);
    if (notice.kind == Kind::Unwritten || headless() || !trayAvailable_ ||
        !QSystemTrayIcon::supportsMessages()) {
        writeNoticeLine(text.toStdString());
        return;
    }
    lastNotice_ = {}; // a click on this notification opens no task's output
    TrayIcon1->showMessage(QCoreApplication::applicationName(), text,
                           notice.kind == Kind::Refusing ? QSystemTrayIcon::Warning
                                                         : QSystemTrayIcon::Information,
                           10000);
}

QString TMainForm::manualPage() {
    const QString installed =
        QDir::cleanPath(QCoreApplication::applicationDirPath() +
                        QStringLiteral("/" VEKTRIN_MANUAL_FROM_BINDIR "/index.html"));
    if (QFileInfo::exists(installed)) return installed;
    const QString built = QStringLiteral(VEKTRIN_BUILT_MANUAL "/index.html");
    return QFileInfo::exists(built) ? built : installed;
}

void TMainForm::HelpClick() {
    const QString page = manualPage();
    if (!QFileInfo::exists(page))
        showText({str::ManualMissing, {page.toStdString()}}, MessageKind::Error);
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
        showText({str::ManualNotOpened, {page.toStdString()}}, MessageKind::Error);
}

void TMainForm::AboutClick() {
    const auto absolute = [](const std::string& path) {
        return QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
    };
    const std::string tables =
        started_ ? scheduler_->dataCtrl().database().directory() : std::string();
    const OperatorText text{str::AboutText,
                            {fileVersion(), tables, absolute(scheduler_->settings().path()),
                             absolute(scheduler_->protocolFile().fullPath())}};
    if (headless()) return writeMessageLine(text);
    QMessageBox::about(messageParent(), qs(str::MenuAbout), operatorText(text));
}

void TMainForm::chooseLanguage(bool russian) {
    if (!scheduler_->storeLanguage(russian)) return;
    showMessage(str::LanguageStored, MessageKind::Information);
}

void TMainForm::deleteTask() {
    const std::string name = scheduler_->dataCtrl().Table1AppName.asString();
    if (!confirm(operatorText({str::DeleteTaskQuestion, {name}}))) return;
    guarded([this] { scheduler_->dataCtrl().Table1.deleteRecord(); });
}

} // namespace vektrin
