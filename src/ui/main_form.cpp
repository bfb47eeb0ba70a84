#include "ui/main_form.h"

#include "platform/strings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>
#include <unistd.h>

namespace vektrin {

TMainForm::TMainForm(MainFormOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
    setObjectName("MainForm");
    resize(685, 178);
    setWindowTitle(QString::fromUtf8(str::ApplicationTitle.data(), str::ApplicationTitle.size()));
    Timer1.setInterval(1000);
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer2.setSingleShot(true);
    Timer2.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    connect(&Timer2, &QTimer::timeout, this, &TMainForm::Timer2Timer);

    clock_ = std::make_unique<SystemClock>();
    processes_ = makePosixProcessControl();
    windows_ = QGuiApplication::platformName() == "xcb" ? makeX11WindowSystem() : makeNullWindowSystem();
    settings_ = std::make_unique<SettingsStore>();
    SchedulerConfig config;
    config.arguments = options_.arguments;
    config.programPath = options_.programPath;
    scheduler_ = std::make_unique<Scheduler>(*clock_, *processes_, *windows_, *this, *settings_,
                                             RegionalSettings::fromLocale(), config);
}

TMainForm::~TMainForm() {
    Timer1.stop();
    Timer2.stop();
}

bool TMainForm::headless() {
    const QString p = QGuiApplication::platformName();
    return p == "offscreen" || p == "minimal";
}

int TMainForm::start() {
    try {
        if (scheduler_->FormCreate() == Scheduler::StartResult::Finished) return 0;
    } catch (const FatalExit& e) {
        return e.status();
    }
    started_ = true;
    return -1;
}

template <class F> void TMainForm::guarded(F&& handler) {
    try {
        handler();
    } catch (const FatalExit& e) {
        std::fflush(nullptr);
        ::_exit(e.status());
    } catch (const AbortError&) {
    } catch (const std::exception& e) {
        scheduler_->reportError(e.what());
    }
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
    Timer2.stop();
    guarded([this] { scheduler_->FormClose(); });
}

void TMainForm::closeEvent(QCloseEvent* event) {
    shutdown();
    event->accept();
    QCoreApplication::quit();
}

void TMainForm::closeMainWindow() {
    shutdown();
    close();
    QCoreApplication::quit();
}

void TMainForm::showMessage(std::string_view text, MessageKind kind) {
    const QString qtext = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
    const QString caption = QCoreApplication::applicationName();
    if (headless()) {
        // Nobody can answer a box here: one line on standard error, answered OK at once.
        QString line = qtext;
        line.replace("\r\n", " ").replace('\n', ' ');
        std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(), line.toLocal8Bit().constData());
        std::fflush(stderr);
        return;
    }
    QMessageBox box(kind == MessageKind::Error         ? QMessageBox::Critical
                    : kind == MessageKind::Information ? QMessageBox::Information
                                                       : QMessageBox::NoIcon,
                    kind == MessageKind::Information ? QStringLiteral("Information") : caption,
                    qtext, QMessageBox::Ok, isVisible() ? this : nullptr);
    box.exec();
}

void TMainForm::setIcon(std::string_view name) {
    currentIcon_ = std::string(name);
    QIcon icon;
    for (int size : {16, 32, 64})
        icon.addFile(QString(":/icons/%1-%2.png").arg(QString::fromStdString(currentIcon_)).arg(size));
    setWindowIcon(icon);
}

void TMainForm::paintStatusColor(int colour) { statusColour_ = colour; }

void TMainForm::setApplicationTitle(const std::string& title) {
    QCoreApplication::setApplicationName(QString::fromStdString(title));
    setWindowTitle(QString::fromStdString(title));
}

void TMainForm::setTimer1Enabled(bool enabled) {
    if (enabled) Timer1.start();
    else Timer1.stop();
}

void TMainForm::startTimer2(int firstDelayMs) { Timer2.start(firstDelayMs); }

void TMainForm::stopTimer2() { Timer2.stop(); }

void TMainForm::setBusyCursor(bool busy) {
    if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

} // namespace vektrin
