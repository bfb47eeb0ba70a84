#include "app/headless.h"

#include "engine/first_start.h"
#include "engine/handler_guard.h"
#include "language/translation.h"
#include "platform/aliases.h"
#include "platform/regional.h"
#include "platform/strings.h"
#include "ui/operator_lines.h"

#include <QCoreApplication>
#include <algorithm>

namespace vektrin {

HeadlessScheduler::HeadlessScheduler(SchedulerConfig config, bool windowsOnDisplay)
    : processes_(makePosixProcessControl()),
      windows_(windowsOnDisplay ? makeX11WindowSystem() : makeNullWindowSystem()),
      timer2_([this] { guardHandler(*scheduler_, [this] { scheduler_->Timer2Timer(); }); }) {
    timer1_.setInterval(1000);
    timer1_.setTimerType(Qt::PreciseTimer);
    scheduler_ = std::make_unique<Scheduler>(clock_, *processes_, *windows_, *this, settings_,
                                             RegionalSettings::fromLocale(), std::move(config));
    connect(&timer1_, &QTimer::timeout, this,
            [this] { guardHandler(*scheduler_, [this] { scheduler_->Timer1Timer(); }); });
    slotTimer_.setInterval(SlotCheckMs);
    connect(&slotTimer_, &QTimer::timeout, this,
            [this] { guardHandler(*scheduler_, [this] { scheduler_->slotCheck(); }); });
}

HeadlessScheduler::~HeadlessScheduler() {
    timer1_.stop();
    slotTimer_.stop();
    timer2_.stop();
}

int HeadlessScheduler::start() {
    if (const int status = startScheduler(*scheduler_); status >= 0) return status;
    started_ = true;
    return -1;
}

void HeadlessScheduler::shutdown() {
    if (shutDown_ || !started_) return;
    shutDown_ = true;
    timer1_.stop();
    slotTimer_.stop();
    timer2_.stop();
    guardHandler(*scheduler_, [this] { scheduler_->FormClose(); });
}

void HeadlessScheduler::closeMainWindow() {
    shutdown();
    QCoreApplication::quit();
}

void HeadlessScheduler::showMessage(std::string_view text, MessageKind) {
    writeMessageLine(text);
    // Nobody can be asked here: the next line says where the alias was looked for and what
    // defines it.
    if (text == str::NoControlAlias) {
        const FirstStart places = proposedFirstStart();
        writeNoticeLine(
            str::fill(str::NoControlAliasLookedIn, {aliasesFilePath(), places.tablesDirectory}));
    }
}

void HeadlessScheduler::showText(const OperatorText& text, MessageKind) {
    writeMessageLine(text);
}

void HeadlessScheduler::setApplicationTitle(const std::string& title) {
    // The caption of the message lines.
    QCoreApplication::setApplicationName(plainText(title));
}

void HeadlessScheduler::setTimer1Enabled(bool enabled) {
    if (enabled)
        timer1_.start();
    else
        timer1_.stop();
}

void HeadlessScheduler::startTimer2(int firstDelayMs) {
    startTimer2At(wallClockMs() + firstDelayMs, firstDelayMs);
}

void HeadlessScheduler::startTimer2At(std::int64_t utcMs, int firstDelayMs) {
    timer2_.start(utcMs, firstDelayMs);
}

void HeadlessScheduler::stopTimer2() {
    timer2_.stop();
}

void HeadlessScheduler::notifyFailure(const TaskNotice& notice) {
    writeTaskNoticeLine(notice);
}

void HeadlessScheduler::slotWaitsChanged(bool waiting) {
    if (!waiting)
        slotTimer_.stop();
    else if (!shutDown_ && !slotTimer_.isActive())
        slotTimer_.start();
}

void HeadlessScheduler::notifyProtocol(const ProtocolNotice& notice) {
    writeNoticeLine(protocolNoticeText(notice).toStdString());
}

} // namespace vektrin
