#include "ui/output_form.h"

#include "engine/scheduler.h"
#include "platform/strings.h"
#include "store/status_text.h"
#include "store/task_states.h"
#include "ui/busy_cursor.h"
#include "ui/form_widgets.h"
#include "ui/keyboard.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

namespace vektrin {

TOutputForm::TOutputForm(Scheduler& scheduler, QWidget* parent)
    : QDialog(parent), scheduler_(scheduler), model_(this) {
    setObjectName("OutputForm");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(720, 373);

    Lines = named(new LineList(model_, this), "Lines");

    ExitButton = named(new QPushButton(qs(str::OutputExitButton), this), "ExitButton");
    ExitButton->setAutoDefault(false);
    connect(ExitButton, &QPushButton::clicked, this, &TOutputForm::ExitButtonClick);
    giveMnemonics({ExitButton});

    RunsGroup = named(new QGroupBox(qs(str::OutputRunsGroup), this), "RunsGroup");
    RunList = named(new QListWidget(RunsGroup), "RunList");
    auto* groupLayout = new QVBoxLayout(RunsGroup);
    groupLayout->addWidget(RunList);
    connect(RunList, &QListWidget::currentRowChanged, this, &TOutputForm::showRun);
    // A run that begins or ends while the window is open shows at once.
    runsTimer_.setInterval(1000);
    connect(&runsTimer_, &QTimer::timeout, this, &TOutputForm::refreshRuns);

    auto* panel = new QWidget(this);
    panel->setFixedWidth(250);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(4, 0, 0, 0);
    panelLayout->addWidget(ExitButton);
    panelLayout->addSpacing(12);
    panelLayout->addWidget(RunsGroup, 1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(Lines, 1);
    layout->addWidget(panel);
}

void TOutputForm::showTask(std::int32_t appId, const std::string& appName) {
    appId_ = appId;
    // The task's name is data: only the words around it are translated.
    QString caption = qs(str::OutputFormCaption);
    caption.replace(caption.indexOf(QLatin1String("%s")), 2, plainText(appName));
    setWindowTitle(caption);
    runs_ = readRuns();
    fillRunList(0);
    show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        raise();
        activateWindow();
    }
}

std::vector<RunInfo> TOutputForm::readRuns() {
    try {
        return listRuns(scheduler_.outputDirectory(), appId_);
    } catch (const std::exception& e) {
        scheduler_.reportError(std::string(str::OutputCannotRead) + e.what());
    }
    return {};
}

void TOutputForm::fillRunList(int row) {
    const RegionalSettings& regional = scheduler_.regional();
    const QSignalBlocker quiet(RunList);
    RunList->clear();
    for (const RunInfo& run : runs_) {
        // A run over without a recorded end (its scheduler was killed) ended nobody knows how.
        const std::string status =
            run.end      ? statusText(false, run.end->endCode, run.end->exitCode.value_or(0))
            : run.goesOn ? std::string(str::OutputRunGoesOn)
                         : statusText(false, static_cast<double>(CompletionCode::Unknown), 0);
        auto* item = new QListWidgetItem(plainText(regional.formatDate(run.start) + " " +
                                                   regional.formatTime(run.start) + "  ") +
                                             messageText(status),
                                         RunList);
        item->setToolTip(item->text()); // whole, however narrow the list
    }
    if (runs_.empty()) {
        auto* none = new QListWidgetItem(qs(str::OutputNoRuns), RunList);
        none->setFlags(Qt::NoItemFlags);
        none->setToolTip(none->text());
    }
    // The list is as wide as its lines, up to half the window.
    const int widest = RunList->sizeHintForColumn(0) + 2 * RunList->frameWidth() +
                       RunList->verticalScrollBar()->sizeHint().width() + 24;
    RunsGroup->parentWidget()->setFixedWidth(std::clamp(widest, 250, std::max(250, width() / 2)));
    row = runs_.empty() ? -1 : std::min(row, static_cast<int>(runs_.size()) - 1);
    RunList->setCurrentRow(row);
    showRun(row);
}

void TOutputForm::refreshRuns() {
    if (!isVisible()) return;
    std::vector<RunInfo> now = readRuns();
    const auto same = [](const RunInfo& a, const RunInfo& b) {
        return a.stem == b.stem && a.end.has_value() == b.end.has_value() && a.goesOn == b.goesOn;
    };
    if (std::equal(now.begin(), now.end(), runs_.begin(), runs_.end(), same)) return;
    // The run shown stays shown; the newest stays the newest.
    const int row = RunList->currentRow();
    const std::string shown = row > 0 && row < static_cast<int>(runs_.size())
                                  ? runs_[static_cast<std::size_t>(row)].stem
                                  : std::string();
    runs_ = std::move(now);
    int again = 0;
    for (std::size_t i = 0; i < runs_.size(); ++i)
        if (runs_[i].stem == shown) again = static_cast<int>(i);
    fillRunList(again);
}

void TOutputForm::showRun(int row) {
    if (row < 0 || row >= static_cast<int>(runs_.size())) {
        model_.clear();
        Lines->fitRowsToLines();
        return;
    }
    BusyCursor busy;
    // Output lines begin with no date of ours.
    const ProtocolLineDates noDates("", 2000, {});
    try {
        model_.load(runs_[static_cast<std::size_t>(row)].path, noDates);
    } catch (const std::exception& e) {
        scheduler_.reportError(std::string(str::OutputCannotRead) + e.what());
    }
    Lines->fitRowsToLines();
    // The end of a run is what tells how it went.
    Lines->scrollToBottom();
}

void TOutputForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    runsTimer_.start();
}

void TOutputForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    runsTimer_.stop();
    // The next showing reads the files again; meanwhile the lines need no memory.
    model_.clear();
}

} // namespace vektrin
