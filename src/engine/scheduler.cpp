#include "engine/scheduler.h"

#include "engine/command_string.h"
#include "engine/schedule.h"
#include "engine/task_rows.h"
#include "platform/aliases.h"
#include "platform/location.h"
#include "platform/places.h"
#include "platform/strings.h"
#include "platform/text.h"
#include "platform/version.h"
#include "store/status_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <unistd.h>

namespace vektrin {

Scheduler::Scheduler(Clock& clock, ProcessControl& processes, WindowSystem& windows,
                     OperatorPort& port, SettingsStore& settings, RegionalSettings regional,
                     SchedulerConfig config)
    : clock_(clock), processes_(processes), windows_(windows), port_(port), messages_(*this),
      settings_(settings), regional_(std::move(regional)), config_(std::move(config)),
      evaluator_(*this),
      ProtocolFile(
          config_.logPath, [this] { return CurrentDateTime(); }, config_.protocolHeldBytes),
      output_(config_.outputDirectory, processes) {}

Scheduler::~Scheduler() {
    // The tables close before the lock on them goes.
    DataCtrl.reset();
    tableLock_.reset();
}

// Empty when no aliases file or no alias Control is defined; throws ConfigFileError when the
// aliases file is there but cannot be read.
std::string Scheduler::ProgDirectory() const {
    auto dir = config_.aliasesFile.empty() ? lookupAlias("Control")
                                           : lookupAlias("Control", config_.aliasesFile);
    return dir ? *dir + "/" : std::string();
}

std::string Scheduler::CurrentDateTime() const {
    return regional_.formatProtocolStamp(clock_.now());
}

void Scheduler::WriteProtocol(std::string_view message) {
    std::string line = CurrentDateTime();
    line += message;
    shareProtocolLine(line);
    // A log that takes no lines (a full disk) costs no event its course: the line waits in memory
    // and goes to the file, after those before it, when the file takes lines again.
    ProtocolFile.appendLine(line);
    sayProtocolState();
}

void Scheduler::flushProtocol() {
    ProtocolFile.flush();
    sayProtocolState();
}

void Scheduler::sayProtocolState() {
    if (ProtocolFile.refusing() == protocolRefusing_) return;
    protocolRefusing_ = ProtocolFile.refusing();
    ProtocolNotice notice;
    notice.kind =
        protocolRefusing_ ? ProtocolNotice::Kind::Refusing : ProtocolNotice::Kind::Writable;
    notice.path = ProtocolFile.fullPath();
    notice.reason = ProtocolFile.refusal();
    port_.notifyProtocol(notice);
}

void Scheduler::closeProtocol() {
    if (ProtocolFile.refusing() && !ProtocolFile.flush()) {
        ProtocolNotice notice;
        notice.kind = ProtocolNotice::Kind::Unwritten;
        notice.path = ProtocolFile.fullPath();
        notice.reason = ProtocolFile.refusal();
        notice.lines = ProtocolFile.unwritten();
        port_.notifyProtocol(notice);
    }
    ProtocolFile.close();
}

void Scheduler::say(std::string_view text, MessageKind kind, bool ofCurrentTask) {
    if (!passRunning()) return port_.showMessage(text, kind);
    PassMessage message;
    if (ofCurrentTask && DataCtrl && !DataCtrl->Table1.isEmpty())
        message.appId = static_cast<std::int32_t>(DataCtrl->Table1AppID.asInteger());
    message.text = text;
    message.kind = kind;
    message.moment = clock_.now();
    port_.showPassMessage(message);
}

void Scheduler::showTooComplex() {
    say(str::TooComplexExpression, MessageKind::Information);
}

std::string Scheduler::UnpackCommandString(std::string_view text) const {
    const DateTime now = clock_.now();
    const DateTime n = OrlimbActive ? PeriodBegin : datePart(now);
    const DateTime k = OrlimbActive ? PeriodEnd : datePart(now);
    return ::vektrin::UnpackCommandString(text, n, k, now);
}

void Scheduler::reportError(std::string_view text) {
    std::string message(text);
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
    say(message, MessageKind::Error, false);
}

void Scheduler::reportError(OperatorText text) {
    text.fullStop = true;
    port_.showText(text, MessageKind::Error);
}

OperatorText Scheduler::startRefusal(const std::exception& error) {
    if (const auto* said = dynamic_cast<const OperatorError*>(&error)) return said->text();
    return {str::StartFailed, {error.what()}};
}

void Scheduler::setTimer1(bool enabled) {
    port_.setTimer1Enabled(enabled);
}

void Scheduler::armTimer2(bool firstPass) {
    // Second 1 of the next minute, whatever the previous pass cost, so no minute is lost or
    // doubled. The first pass after a start comes at once when its minute is still in its second
    // 1: that minute has had no pass yet.
    const long long lastMs = firstPass ? 2000 : 1000;
    const double ms = timePart(clock_.now()) * MsPerDay;
    const auto msInMinute = std::llround(ms) % 60000;
    long long delay = msInMinute < lastMs ? 1000 - msInMinute : 61000 - msInMinute;
    if (delay < 1) delay = 1;
    // Local and UTC minutes begin together (zones differ by whole minutes).
    const std::int64_t utc = clock_.utcMs();
    const std::int64_t inMinute = utc % 60000;
    const std::int64_t due = utc - inMinute + (inMinute < lastMs ? 1000 : 61000);
    port_.startTimer2At(std::max(due, utc + 1), static_cast<int>(delay));
}

void Scheduler::enableTimer2(bool firstPass) {
    timer2Enabled_ = true;
    armTimer2(firstPass);
}

void Scheduler::disableTimer2() {
    timer2Enabled_ = false;
    port_.stopTimer2();
}

// ------------------------------------------------------------------ start-up and shutdown

Scheduler::StartResult Scheduler::FormCreate() {
    setTimer1(false);
    std::string progDirectory;
    try {
        progDirectory = ProgDirectory();
    } catch (const ConfigFileError& e) {
        // Not a missing alias: the operator is told which file cannot be read, and why.
        port_.showText(e.text(), MessageKind::Error);
        throw FatalExit(2);
    }
    if (progDirectory.empty()) {
        port_.showMessage(str::NoControlAlias, MessageKind::Error);
        throw FatalExit(2);
    }
    OrlimbActive = false;
    port_.setBusyCursor(true);

    if (!config_.arguments.empty()) {
        std::string choice = config_.arguments.front();
        std::transform(choice.begin(), choice.end(), choice.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        const bool written = storeLanguage(choice == "RUS");
        port_.setBusyCursor(false);
        if (!written) throw FatalExit(1);
        return StartResult::Finished;
    }

    const std::string directory = progDirectory.substr(0, progDirectory.size() - 1);
    // A directory or table file that cannot be used is named as what it is, before a lock file
    // is put into the directory.
    try {
        TDataCtrl::verify(directory);
    } catch (const std::exception& e) {
        port_.setBusyCursor(false);
        port_.showText(startRefusal(e), MessageKind::Error);
        throw FatalExit(1);
    }

    // One scheduler per log and per table directory: both are locked before any table is touched,
    // so a second instance changes nothing that the first one relies on.
    // On a database server the registration of the host stands for the lock (startWithTables).
    const bool onServer = isServerLocation(directory);
    const std::string taskFile = directory + "/" + TaskFileName;
    const bool taskFileIsNew = !onServer && access(taskFile.c_str(), F_OK) != 0;
    // The tables first: a refused second scheduler leaves no empty protocol behind.
    if (!onServer) tableLock_ = std::make_unique<FileLock>(taskFile);
    const bool tablesHeld = tableLock_ && !tableLock_->locked();
    if (tablesHeld && config_.findRunning) {
        if (const std::optional<RunningScheduler> running = config_.findRunning(directory)) {
            tableLock_.reset();
            port_.setBusyCursor(false);
            if (running->broughtForward) throw FatalExit(0);
            port_.showText({str::SchedulerRunsAlready, {std::to_string(running->pid), directory}},
                           MessageKind::Error);
            throw FatalExit(1);
        }
    }
    if (tablesHeld || !ProtocolFile.open()) {
        // "Runs already" only when another process holds the lock, with what it holds; else the
        // file and why.
        const int error = tablesHeld || ProtocolFile.isOpen() ? 0 : ProtocolFile.openError();
        OperatorText refusal = tablesHeld ? OperatorText{str::TablesHeld, {directory}}
                               : error == EWOULDBLOCK
                                   ? OperatorText{str::ProtocolHeld, {ProtocolFile.fullPath()}}
                                   : OperatorText{str::ProtocolNotReopened,
                                                  {ProtocolFile.fullPath(), std::strerror(error)}};
        if (tablesHeld || error == EWOULDBLOCK) refusal.lead = str::LogFileProblem;
        tableLock_.reset();
        ProtocolFile.close();
        port_.setBusyCursor(false);
        port_.showText(refusal, MessageKind::Error);
        throw FatalExit(1);
    }

    try {
        startWithTables(directory, taskFileIsNew);
    } catch (const FatalExit&) {
        throw;
    } catch (const std::exception& e) {
        abandonStart(e);
    }
    started_ = true;
    return StartResult::Running;
}

bool Scheduler::storeLanguage(bool russian) {
    if (settings_.write(LocalesKey, config_.programPath, russian ? "RUS" : "")) return true;
    OperatorText problem = settings_.lastError();
    problem.lead = str::YouHaveAProblem;
    port_.showText(problem, MessageKind::Error);
    return false;
}

void Scheduler::startWithTables(const std::string& directory, bool taskFileIsNew) {
    DataCtrl =
        std::make_unique<TDataCtrl>(directory, messages_, OpenMode::ReadWrite, taskFileIsNew);
    DataCtrl->setResourceTable(&resourceTable);
    registerOnServer();

    const std::string version = config_.fileVersion.empty() ? fileVersion() : config_.fileVersion;
    title_ = std::string(str::ApplicationTitle) + " " + VersionText(version);
    port_.setBusyCursor(false);

    // The first pass comes at the first second 1 after the start, so no launch falls between the
    // start and it: nothing is to be marked as fallen into a pause.
    PauseStart = 0;
    port_.setApplicationTitle(title_);
    if (!config_.stateDirectory.empty()) {
        std::error_code ignored; // a directory that cannot be made is said at the first pass
        std::filesystem::create_directories(config_.stateDirectory, ignored);
        // Named as vektrinctl names them: a database's location with its password masked.
        const std::string& tables = DataCtrl->database().directory();
        history_ = PassHistory(PassHistory::fileFor(config_.stateDirectory, tables));
        held_ = HeldLaunches(HeldLaunches::fileFor(config_.stateDirectory, tables));
    }

    RunningTasks.initialise(
        scheduleSetting(settings_, "MaxRunning", RunningTaskSlots, 1, MaxRunningTaskSlots));
    slotWaitMinutes_ = scheduleSetting(settings_, "SlotWaitMinutes", DefaultSlotWaitMinutes, 0,
                                       std::numeric_limits<int>::max() / 2);
    resourceTable.initialise();
    ResetStaleStates();
    // A deleted task's runs go with it: those deleted here at the next monitoring pass, those
    // deleted while no scheduler ran (or by another program) at the first.
    DataCtrl->Table1.beforeDelete = [this](Table&) {
        deletedTasks_.push_back(static_cast<std::int32_t>(DataCtrl->Table1AppID.asInteger()));
    };
    if (!output_.root().empty()) deletedTasks_ = tasksWithRuns(output_.root());
    resourceTable.load(DataCtrl->Table2);

    ProtocolClearing(10, datePart(clock_.now()));
    WriteProtocol(str::ProgramStarted);
    SetIcon("XICON1");
    WorkEnabled();
    // From now on a lock held elsewhere is waited for no longer than the event loop may stand
    // still; what cannot be written then is written at a later second.
    DataCtrl->database().setBusyTimeout(TableLockWaitMs);
    setTimer1(true);
    enableTimer2(true);
    SetStatusColor(StatusYellow);
}

void Scheduler::abandonStart(const std::exception& error) {
    // A table held by another writer, a full disk under the tables: said once, written to the
    // protocol (held back when it takes no lines), and the locks given back for the next attempt.
    setTimer1(false);
    disableTimer2();
    port_.setBusyCursor(false);
    reportError(startRefusal(error));
    if (ProtocolFile.isOpen()) WriteProtocol(std::string(str::ProgramNotStarted) + error.what());
    DataCtrl.reset();
    closeProtocol();
    tableLock_.reset();
    throw FatalExit(1);
}

void Scheduler::ResetStaleStates() {
    Table& t = DataCtrl->Table1;
    t.disableControls();
    // One commit for the whole walk: a thousand stale tasks cost one disk flush, not a thousand.
    try {
        Transaction transaction(DataCtrl->database());
        for (t.first(); !t.eof(); t.next()) {
            if (!isStaleCode(completionCode(DataCtrl->Table1EndCode))) continue;
            // On a shared list another workstation's run or wait is no stale state of ours.
            if (DataCtrl->database().shared() &&
                text::lower(DataCtrl->Table1LastHost.asString()) != text::lower(config_.host))
                continue;
            EditGuard guard(t);
            t.edit();
            setCompletionCode(DataCtrl->Table1EndCode, CompletionCode::Unknown);
            t.post();
        }
        transaction.commit();
    } catch (...) {
        t.refresh(); // the rows in memory follow what the file holds after the rollback
        t.enableControls();
        throw;
    }
    t.enableControls();
}

void Scheduler::FormClose() {
    if (!started_) return;
    setTimer1(false);
    disableTimer2();
    Table& t = DataCtrl->Table1;
    // What an editor still open holds unposted goes as its closing drops it.
    t.cancel();
    for (int n = 1; n <= RunningTasks.size(); ++n) {
        TRunningTask& slot = RunningTasks.slot(n);
        if (!slot.occupied()) continue;
        try {
            const bool found = t.gotoBookmark(slot.Bookmark);
            processes_.terminate(slot.processInfo());
            if (found) {
                EditGuard guard(t);
                t.edit();
                DataCtrl->Table1WaitBeginning.setFloat(0);
                stampLast();
                setCompletionCode(DataCtrl->Table1EndCode, CompletionCode::InterruptedByPerson);
                postStatus();
            }
            WriteProtocol(
                str::taskMessage(str::InterruptedEndOfWork,
                                 found ? DataCtrl->Table1AppName.asString() : slot.Title));
        } catch (const std::exception& e) {
            reportError(e.what());
        }
        endOutput(n, CompletionCode::InterruptedByPerson, std::nullopt, slot.Title);
        freeSlot(n, true);
    }
    finishOutput(TaskOutput::Finish::All);
    try {
        WriteProtocol(str::ProgramCompleted);
    } catch (const std::exception& e) {
        reportError(e.what());
    }
    closeProtocol();
    started_ = false;
}

void Scheduler::ExitBtnClick() {
    setTimer1(false);
    disableTimer2();
    static constexpr std::pair<PauseWindow, std::string_view> refusals[] = {
        {PauseWindow::Tasks, str::CloseTasksFormBeforeExit},
        {PauseWindow::ResourcesEdit, str::CloseConflictsFormBeforeExit},
        {PauseWindow::ConflictsEdit, str::CloseExceptionsFormBeforeExit},
        {PauseWindow::ProtocolShow, str::CloseProtocolFormBeforeExit},
    };
    for (const auto& [window, message] : refusals) {
        if (windowOpen(window)) {
            port_.showMessage(message);
            return;
        }
    }
    port_.closeMainWindow();
}

// ------------------------------------------------------------------ indicators and pauses

void Scheduler::SetIcon(std::string_view name) {
    port_.setIcon(name);
}

void Scheduler::refreshIcon() {
    SetIcon(RunningTasks.anyTaskRunning() ? "XICON2" : "XICON1");
}

void Scheduler::SetStatusColor(int colour) {
    switch (colour) {
    case StatusRed:
        if (statusColor_ == StatusRed) return;
        WriteProtocol(str::SchedulingStopped);
        break;
    case StatusGreen:
        if (statusColor_ == StatusGreen) return;
        WriteProtocol(str::SchedulingResumed);
        break;
    case StatusYellow:
        if (statusColor_ != StatusGreen) return;
        WriteProtocol(str::WaitingSchedulingStart);
        break;
    default:
        return;
    }
    statusColor_ = colour;
    port_.paintStatusColor(colour);
}

bool Scheduler::WorkEnabled() {
    const schedule::PassMoment moment = schedule::passMoment(eventMoment());
    silencesInForce_ = schedule::silencesInForce(Schedule::silenceTable(*DataCtrl), moment);
    const bool answer = silencesInForce_.empty();
    SetStatusColor(answer ? StatusGreen : StatusRed);
    return answer;
}

void Scheduler::beginPause(PauseWindow window) {
    windowOpen_[static_cast<int>(window)] = true;
    setTimer1(false);
    disableTimer2();
    if (PauseStart == 0) PauseStart = clock_.now();
    // What falls into the pause is not made up.
    history_.excuse();
    static constexpr std::string_view begins[] = {str::TaskEditBegin, str::ResourceEditBegin,
                                                  str::ExceptionEditBegin, str::ProtocolViewBegin};
    WriteProtocol(begins[static_cast<int>(window)]);
}

void Scheduler::endPause(PauseWindow window) {
    static constexpr std::string_view ends[] = {str::TaskEditEnd, str::ResourceEditEnd,
                                                str::ExceptionEditEnd, str::ProtocolViewEnd};
    // Whatever the closing lines do, the window is closed; the passes come back only when no other
    // editor or the viewer is still open, so no pass moves a record someone is typing into.
    struct Reopen {
        Scheduler& s;
        PauseWindow w;
        ~Reopen() {
            s.windowOpen_[static_cast<int>(w)] = false;
            bool anyOpen = false;
            for (bool open : s.windowOpen_)
                anyOpen = anyOpen || open;
            if (!anyOpen) s.setTimer1(true);
        }
    } reopen{*this, window};
    WriteProtocol(ends[static_cast<int>(window)]);
    WorkEnabled();
    SetStatusColor(StatusYellow);
}

void Scheduler::postStatus() {
    Table& t = DataCtrl->Table1;
    if (!t.postDeferring()) tablesUnusable(t.deferReason());
}

void Scheduler::writeDeferredStatus() {
    const std::string reason = DataCtrl->Table1.writeDeferred();
    if (!reason.empty()) tablesUnusable(reason);
}

Scheduler::KeepLastRead::KeepLastRead(TDataCtrl& dm) : tables{&dm.Table1, &dm.Table2, &dm.Table3} {
    for (Table* t : tables)
        t->keepLastRead(true);
}

Scheduler::KeepLastRead::~KeepLastRead() {
    for (Table* t : tables)
        t->keepLastRead(false);
}

std::optional<std::string> Scheduler::KeepLastRead::refusal() const {
    for (const Table* t : tables)
        if (t->readRefusal()) return t->readRefusal();
    return std::nullopt;
}

void Scheduler::tablesUnusable(const std::string& reason) {
    if (tablesUnusable_) return;
    tablesUnusable_ = true;
    std::string line(str::TablesUnusable);
    line += reason;
    if (!line.ends_with('.')) line += '.';
    WriteProtocol(line);
}

void Scheduler::stampLast() {
    stampLast(clock_.now());
}

void Scheduler::stampLast(DateTime moment) {
    DataCtrl->Table1LastDate.setDateTime(datePart(moment));
    DataCtrl->Table1LastTime.setDateTime(timePart(moment));
}

void Scheduler::StoppedInverting() {
    Table& t = DataCtrl->Table1;
    if (t.isEmpty()) return;
    EditGuard guard(t);
    t.edit();
    const std::string name = DataCtrl->Table1AppName.asString();
    if (DataCtrl->Table1Stopped.asBoolean()) {
        WriteProtocol(str::taskMessage(str::TaskSchedulingResumed, name));
        DataCtrl->Table1Stopped.setBoolean(false);
        setCompletionCode(DataCtrl->Table1EndCode, CompletionCode::Resumed);
    } else {
        WriteProtocol(str::taskMessage(str::TaskSchedulingStopped, name));
        DataCtrl->Table1Stopped.setBoolean(true);
        setCompletionCode(DataCtrl->Table1EndCode, CompletionCode::Suspended);
    }
    stampLast();
    postStatus();
}

} // namespace vektrin
