#pragma once
// The scheduler behind the main window: start-up and shutdown, the protocol, the two passes and
// every operation on a task that the passes and the operator's commands share. It never touches a
// widget; the operator interface is reached through OperatorPort.

#include "condition/environment.h"
#include "condition/evaluator.h"
#include "condition/file_search_cache.h"
#include "engine/held_launches.h"
#include "engine/launch_condition.h"
#include "engine/missed_launches.h"
#include "engine/operator_port.h"
#include "engine/pass_history.h"
#include "engine/pass_verdict.h"
#include "engine/protocol_log.h"
#include "engine/schedule.h"
#include "engine/task_output.h"
#include "platform/clock.h"
#include "platform/host_name.h"
#include "platform/process.h"
#include "platform/regional.h"
#include "platform/settings_store.h"
#include "platform/windows.h"
#include "store/data_ctrl.h"
#include "store/running_tasks.h"
#include "store/task_states.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vektrin {

// How long the running scheduler waits for a table lock that another program holds.
constexpr int TableLockWaitMs = 200;
// [Schedule] SlotWaitMinutes: how long a due task waits for a running slot before its launch is
// given up.
constexpr int DefaultSlotWaitMinutes = 60;

// The scheduler that already runs on the tables, as it answered a second start.
struct RunningScheduler {
    long long pid = 0;
    bool broughtForward = false; // its main window came forward: the second start ends with 0
};

struct SchedulerConfig {
    std::vector<std::string> arguments; // command-line arguments after the program name
    std::string programPath;            // the program file's full path (the language value's name)
    std::string logPath = "Vektrin.log";
    std::string aliasesFile;     // empty: the usual lookup
    std::string fileVersion;     // empty: the version compiled in
    std::string outputDirectory; // where what task runs print is kept; empty: nowhere
    std::size_t protocolHeldBytes = ProtocolLog::DefaultHeldBytes; // kept while the log refuses
    // Where the moment of the last pass is kept across runs (one file per table directory);
    // empty: in memory only.
    std::string stateDirectory;
    // The name this scheduler goes by on a task list that several workstations share.
    std::string host = platform::schedulerHost();
    // Asked when another process holds the tables' lock, before the start is refused: the
    // scheduler of ours that runs on them, reached through its control socket (and asked to bring
    // its main window forward where this run has one), or nullopt when none answers.
    std::function<std::optional<RunningScheduler>(const std::string& tableDirectory)> findRunning;
};

// What RunNowClick did with the current task.
enum class RunOutcome {
    Launched,         // its process runs in a slot (code 2)
    SkippedResources, // a running task holds one of its resources (code 8)
    SetWaiting,       // the same, and it waits for them (code 7)
    NoFreeSlot,       // every slot is taken: nothing changed
    LaunchError,      // the process could not be made (code 12)
    NotHere,          // the operator's run is another workstation's, or needs the lost server
    NoTask,           // the table is empty
};

// Who asks for a launch: the operator's "Run now" is told at once that every slot is taken; a
// launch of the scheduler's own waits for a slot instead.
enum class LaunchBy { Operator, Scheduler };

struct RunNowResult {
    RunOutcome outcome = RunOutcome::NoTask;
    std::string launchError; // for LaunchError and NotHere: the text the operator is shown
};

class Scheduler : public ConditionEnvironment {
  public:
    Scheduler(Clock& clock, ProcessControl& processes, WindowSystem& windows, OperatorPort& port,
              SettingsStore& settings, RegionalSettings regional, SchedulerConfig config);
    ~Scheduler() override;

    enum class StartResult { Running, Finished };

    // Start-up. Finished: the run only recorded a language choice. Throws FatalExit when the
    // configuration makes running pointless (the message has been shown).
    StartResult FormCreate();
    // Shutdown: interrupts every running task, writes the closing line, closes the protocol.
    void FormClose();
    // The operator's exit: refused while an editor or the viewer is open.
    void ExitBtnClick();

    void WriteProtocol(std::string_view message);
    std::string CurrentDateTime() const;
    std::string ProgDirectory() const;

    void SetIcon(std::string_view name);
    void SetStatusColor(int colour);

    // The one-second monitoring pass and the once-a-minute scheduling pass.
    void Timer1Timer();
    void Timer2Timer();
    // While tasks wait for a slot the interface calls this often (a few times a second): it
    // closes the runs that ended and gives their slots to the waiting tasks, in the order they
    // fell due, so that short tasks do not wait for the next second.
    void slotCheck();
    bool tasksWaitForSlots() const { return !slotWaits_.empty(); }

    // Operations on the task table's current record. Each one that edits the record has posted
    // or cancelled it when it returns. RunNowClick still shows the operator its boxes (no free
    // slot, a launch error).
    RunNowResult RunNowClick(LaunchBy by = LaunchBy::Operator);
    void InterruptTask(std::int32_t appId);
    void InterruptClick();
    bool ApplicationActive(std::int32_t appId);
    void CancelWaitingClick();
    void StoppedInverting();
    bool TrueCondition();
    // TrueCondition with the reason: turns code 13 into 14, then tests the launch condition.
    LaunchConditionOutcome launchConditionOutcome();
    bool IsDispIntervalSkipped(DateTime from, DateTime to);
    bool WorkEnabled();
    bool LoadOrlimbSettings();

    // Around an editor or the protocol viewer: the shared opening and closing sequence.
    void beginPause(PauseWindow window);
    void endPause(PauseWindow window);
    bool windowOpen(PauseWindow window) const { return windowOpen_[static_cast<int>(window)]; }
    // The scheduling-state colour the indicator shows (StatusNeutral before the first).
    int statusColour() const { return statusColor_; }
    // Whether a pass is under way: only while a message box it raised waits for the operator.
    bool passRunning() const { return inTimer1_ || inTimer2_; }
    // While a sink is set, the messages of the operations (and of the data module's posts) go
    // into it instead of a box: an operator command from outside the windows answers with them.
    void divertMessages(std::vector<std::string>* sink) { messages_.sink = sink; }

    double EvaluateCondition(std::string_view text) { return evaluator_.EvaluateCondition(text); }
    bool ConditionError() const { return evaluator_.ConditionError(); }

    // ConditionEnvironment
    std::string unpackCommandString(std::string_view text) override {
        return UnpackCommandString(text);
    }
    void writeProtocol(std::string_view message) override { WriteProtocol(message); }
    void showTooComplex() override;
    const RegionalSettings& regional() const override { return regional_; }
    // The scheduling pass reads each search once for all its tasks. The monitoring pass and an
    // editor's check read the disk, also when they run while the scheduling pass waits for a box.
    FileListing searchFiles(std::string_view pattern) override {
        if (inTimer1_ || windowOpen_ != decltype(windowOpen_){})
            return ConditionEnvironment::searchFiles(pattern);
        return passFileSearches_.find(pattern);
    }

    std::string UnpackCommandString(std::string_view text) const;

    // Keeps the protocol lines whose date plus days is after referenceDate; the protocol is open
    // for appending afterwards.
    void ProtocolClearing(int days, DateTime referenceDate);

    // Shows an error that a handler did not catch, as the general error report does.
    void reportError(std::string_view text);
    void reportError(OperatorText text);

    TDataCtrl& dataCtrl() { return *DataCtrl; }
    RunningTaskTable RunningTasks;
    ResourceTable resourceTable;
    DateTime PauseStart = 0;
    bool OrlimbActive = false;
    DateTime PeriodBegin = 0;
    DateTime PeriodEnd = 0;
    std::string applicationTitle() const { return title_; }
    ProtocolLog& protocolFile() { return ProtocolFile; }
    SettingsStore& settings() { return settings_; }
    // Records the interface language for the program's next start, as "vektrin RUS" does; false
    // (and the problem shown) when the settings file takes no value.
    bool storeLanguage(bool russian);
    Clock& clock() { return clock_; }
    const std::string& host() const { return config_.host; }
    // On a shared task list, what answers the requests another workstation's vektrinctl -H sends
    // this scheduler through the database (the control socket's answer, of the same words).
    void answerRemoteRequestsWith(std::function<std::string(const std::string&)> answer) {
        remoteAnswer_ = std::move(answer);
    }
    // On a shared task list, the notices of the server taken as they come (the socket of
    // noticeSocket has one): another workstation's change shows in the task table, a request for
    // this one is answered. Waits for the next second during a pass.
    void takeServerNotices();
    int noticeSocket();
    WindowSystem& windows() { return windows_; }
    // Where the runs' output is kept (empty: nowhere).
    const std::string& outputDirectory() const { return output_.root(); }

    // [Schedule] CatchUpDays, and the gaps between passes that the scheduler's record holds.
    int catchUpDays() const;
    std::vector<PassGap> recordedGaps() const;

  private:
    // A message box; inside a pass one that does not hold it (about the current task).
    void say(std::string_view text, MessageKind kind, bool ofCurrentTask = true);
    void setTimer1(bool enabled);
    void enableTimer2(bool firstPass = false);
    void disableTimer2();
    void armTimer2(bool firstPass = false);
    void startWithTables(const std::string& directory, bool taskFileIsNew);
    [[noreturn]] void abandonStart(const std::exception& error);
    // What the operator is told of an error that ends the start: its own identity, or, for one
    // raised without, that the program could not start and why.
    static OperatorText startRefusal(const std::exception& error);
    // Writes the protocol lines held back, and tells the operator when the log stops or starts
    // taking lines; closing, of the lines it never took.
    void flushProtocol();
    void sayProtocolState();
    void closeProtocol();
    void ResetStaleStates();
    // Stamps today and now (or the given moment) into LastDate and LastTime of the record being
    // edited.
    void stampLast();
    void stampLast(DateTime moment);
    // Posts the status change of the task record being edited. When the files cannot take it now
    // (another program's lock, a full disk) it stays in memory and is written at a later second,
    // so that neither pass stops for it and nothing waits on the lock.
    void postStatus();
    void writeDeferredStatus();
    // For the length of a pass: the tables' reads that the files refuse keep the rows as last read.
    struct KeepLastRead {
        explicit KeepLastRead(TDataCtrl& dm);
        ~KeepLastRead();
        KeepLastRead(const KeepLastRead&) = delete;
        KeepLastRead& operator=(const KeepLastRead&) = delete;
        // Why a read was refused in the pass, if one was.
        std::optional<std::string> refusal() const;
        std::array<Table*, 3> tables;
    };
    // The tables could not be read or written: said once until they can be used again.
    void tablesUnusable(const std::string& reason);
    // The moment the scheduling pass fixed while one runs, else now: a wait begun by the pass is
    // measured from the same moment as the later passes that settle it.
    DateTime eventMoment() const { return passMoment_ ? *passMoment_ : clock_.now(); }
    // Ends one occupied slot's process and frees the slot (the shared steps of the interruptions);
    // notice, when not empty, is the word to the operator once the run's output is complete.
    void endRunningTask(int slotNumber, CompletionCode code, std::string_view protocolFormat,
                        std::string notice = {});
    void freeSlot(int slotNumber, bool processExisted);
    // Whether the current task waits for its resources (code 7). The end of an earlier run of it
    // keeps that code and the moment the wait began, so that the wait is settled, not dropped in
    // silence.
    bool waitsForResources() const;
    void refreshIcon();
    void retitleWindows();
    // The monitoring of the occupied slots (step by step as the one-second pass does it; only the
    // ended processes when conditions is false). Whether a process ended.
    bool monitorSlots(bool conditions, std::vector<std::string>& errors);
    // The current task is due but every slot is taken: it waits for one, once.
    void waitForSlot();
    bool waitsForSlot(std::int32_t appId) const;
    void launchSlotWaiters();
    void markSkippedLaunches();
    // The scheduling pass's walk over the tasks.
    void schedulingWalk(DateTime now, const PassHistory::Pass& covered);
    // A moment as the protocol's own stamps write it.
    std::string momentText(DateTime moment) const;
    void settleWaiting(DateTime now);
    // A launch condition that is not well formed holds its task back: said once per text.
    void sayMalformedCondition(std::int32_t appId, schedule::Verdict verdict,
                               const schedule::PassMoment& moment);
    // The launches of the task found to have fallen into the pause up to now.
    void recordPausedLaunches(DateTime now);
    std::string launchErrorText(const LaunchResult& result) const;
    // What task runs print: the settings as they are now (their problems said once in the
    // protocol), the end of a run's file, the removal of deleted tasks' runs, and the word to
    // the operator when a task fails. None of them throws: output never costs a task its record.
    OutputSettings outputSettings();
    void outputProblem(std::string_view appName, const std::string& problem) noexcept;
    // The slot's task has ended: its run is closed off once its keeper has written everything,
    // and then the notice (when not empty) is said with the run's last line.
    void endOutput(int slotNumber, CompletionCode code, std::optional<int> exitCode,
                   std::string appName, std::string notice = {}) noexcept;
    void finishOutput(TaskOutput::Finish which) noexcept;
    void removeDeletedTasksOutput();
    void notifyFailure(std::int32_t appId, const std::string& appName, std::string what,
                       std::string lastLine) noexcept;

    Clock& clock_;
    ProcessControl& processes_;
    WindowSystem& windows_;
    OperatorPort& port_;
    // The operator's message boxes, or the sink of divertMessages; inside a pass, boxes that do not
    // hold it.
    struct Messages final : MessagePort {
        explicit Messages(Scheduler& s) : scheduler(s) {}
        void showMessage(std::string_view text, MessageKind kind = MessageKind::Plain) override {
            if (sink)
                sink->emplace_back(text);
            else
                scheduler.say(text, kind);
        }
        Scheduler& scheduler;
        std::vector<std::string>* sink = nullptr;
    };
    Messages messages_;
    SettingsStore& settings_;
    RegionalSettings regional_;
    SchedulerConfig config_;
    ConditionEvaluator evaluator_;
    FileSearchCache passFileSearches_; // open while a scheduling pass runs

    std::unique_ptr<FileLock> tableLock_;
    std::unique_ptr<TDataCtrl> DataCtrl;
    ProtocolLog ProtocolFile;
    bool protocolRefusing_ = false; // as the operator was last told
    std::string title_;
    int statusColor_ = StatusNeutral;
    bool timer2Enabled_ = false;
    std::array<bool, 4> windowOpen_{};
    bool inTimer1_ = false;
    bool inTimer2_ = false;
    std::optional<DateTime> passMoment_;
    std::vector<Schedule> silencesInForce_; // as WorkEnabled last found them
    std::uint64_t launchAttempts_ = 0; // RunNowClick calls: a pass's cue to look at the silences
    PassHistory history_;
    HeldLaunches held_; // what the scheduler held back, for vektrinctl due --missed
    std::optional<std::int64_t> passElapsedMs_; // the clock's elapsedMs when the pass began
    // The stretch before this pass in which no pass ran, as far back as catch-up reaches.
    std::optional<PassGap> madeUpPart_;
    // The tasks whose waits for resources began in this run, with the clock's elapsedMs then.
    std::map<std::int32_t, std::int64_t> waitsBegun_;
    // The tasks due while every slot was taken, in the order they fell due.
    struct SlotWait {
        std::int32_t appId = 0;
        Table::Bookmark bookmark = 0;
        DateTime due = 0;
        std::string appName;
    };
    std::deque<SlotWait> slotWaits_;
    std::map<std::int32_t, std::string>
        malformedSaid_; // by task, the condition said to be malformed
    int slotWaitMinutes_ = DefaultSlotWaitMinutes;
    bool started_ = false;
    bool tablesUnusable_ = false;
    TaskOutput output_;
    FailureNotices notices_;
    std::vector<std::string> outputProblemsSaid_;
    std::vector<std::int32_t> deletedTasks_; // whose runs go at the next monitoring pass

    // On a task list that several workstations share (engine/shared_scheduling.cpp); nothing on
    // a directory of table files.
    // Registers this scheduler for its host, refusing a second one of the host.
    void registerOnServer();
    // The resources of needed that are busy: held by a running task here, or by another
    // workstation's. When none is, the shared ones are held by this scheduler from now on.
    ResourceMask resourcesBusy(ResourceMask needed);
    // Gives back the shared holds that no running task here needs any longer.
    void releaseSharedResources() noexcept;
    // Whether the current task is this workstation's to look at in a pass: one pinned to another
    // host is not, nor a wait for resources that another workstation began.
    bool taskIsHere();
    // Takes the moment a launch of the current task is due at: only the workstation whose claim
    // made the row launches it (once per host for a task of every host). True without a shared
    // list.
    bool claimLaunch(DateTime due);
    // The operator's run of the current task on a shared list: why not here (a task of another
    // workstation, one another workstation's operator ran this minute, or the server away).
    std::optional<OperatorText> claimOperatorRun();
    struct UnsentClaim {
        std::int32_t appId;
        std::string moment, hostKey;
    };
    std::deque<UnsentClaim> unsentClaims_; // of launches made while the server was away
    void sendClaims(SharedTables& shared);
    void shareProtocolLine(const std::string& line);
    // The registry's last pass of this scheduler, for `vektrinctl status` on every workstation.
    void notePassOnServer();
    // Once a second: the server lost or back (one protocol line each), and the lines it has not
    // taken sent.
    void watchServer();
    void sendProtocolLines(SharedTables& shared);
    std::deque<std::string> unsentProtocol_;
    bool serverLost_ = false;
    std::uint64_t lossesSeen_ = 0; // the connection losses said
    std::function<std::string(const std::string&)> remoteAnswer_;
    void answerRemoteRequests(SharedTables& shared);
    void serverNotices(SharedTables& shared);
};

} // namespace vektrin
