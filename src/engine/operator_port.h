#pragma once
// What the scheduler needs of the operator interface. The Qt main window implements it; tests fake
// it. Nothing here may block for long: headless, every message box is answered at once.

#include "platform/date_time.h"
#include "store/message_port.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vektrin {

// Colour values of the scheduling-state indicator (blue, green, red bytes from high to low).
constexpr int StatusRed = 255;
constexpr int StatusGreen = 0x8000;
constexpr int StatusYellow = 0xFFFF;
constexpr int StatusNeutral = -1;

// The four windows that pause scheduling while open, by their tray menu items.
enum class PauseWindow { Tasks, ResourcesEdit, ConflictsEdit, ProtocolShow };

// How often the interface lets slots go to waiting tasks while some wait.
constexpr int SlotCheckMs = 50;

// A run that ended badly (a code other than 0, a launch error, its termination condition) or a
// wait that is over: worth a word to the operator.
struct TaskNotice {
    std::int32_t appId = 0;
    std::string task;     // AppName
    std::string what;     // what happened, in the words of the status text or the protocol
    std::string lastLine; // the last line the run printed; empty when none
};

// The protocol file stopped taking lines, takes them again, or was closed with lines it never took.
struct ProtocolNotice {
    enum class Kind { Refusing, Writable, Unwritten };
    Kind kind = Kind::Refusing;
    std::string path;        // from the root
    std::string reason;      // why the file refuses lines (Refusing, Unwritten)
    std::uint64_t lines = 0; // Unwritten: how many lines are lost
};

// A box raised inside a pass. It is shown without waiting for the operator, so that neither this
// pass nor any later one stops for it: one box per task and text at a time, a repeat while it is
// open counted in it.
struct PassMessage {
    std::int32_t appId = 0; // the task it is about; 0: none in particular
    std::string text;
    MessageKind kind = MessageKind::Plain;
    DateTime moment = 0; // when the pass raised it
};

class OperatorPort : public MessagePort {
  public:
    // Where nobody can be asked (headless, a test), it is a message as any other.
    virtual void showPassMessage(const PassMessage& message) {
        showMessage(message.text, message.kind);
    }
    virtual void setIcon(std::string_view name) = 0;                // "XICON1" / "XICON2"
    virtual void paintStatusColor(int colour) = 0;                  // the indicator's new colour
    virtual void setApplicationTitle(const std::string& title) = 0; // caption and tool tip
    virtual void setTimer1Enabled(bool enabled) = 0;                // the one-second timer
    // Starts the scheduling timer so that it first fires after firstDelayMs; every pass re-arms it.
    virtual void startTimer2(int firstDelayMs) = 0;
    // The same, for an interface that can time on the wall clock itself: utcMs is when the clock
    // is due to read second 1 (milliseconds since the epoch, UTC).
    virtual void startTimer2At(std::int64_t utcMs, int firstDelayMs) {
        static_cast<void>(utcMs);
        startTimer2(firstDelayMs);
    }
    virtual void stopTimer2() = 0;
    virtual void setBusyCursor(bool busy) = 0;
    virtual void closeMainWindow() = 0; // runs the shutdown sequence
    // Drops the protocol viewer's lines (it reloads on its next showing) before the log is
    // rewritten.
    virtual void protocolChanged() {}
    // At most once a minute per task, and only while [Notify] OnFailure is on.
    virtual void notifyFailure(const TaskNotice&) {}
    // Once when the protocol stops taking lines and once when it takes them again; the lines it
    // never took when the scheduler ends.
    virtual void notifyProtocol(const ProtocolNotice&) {}
    // Tasks wait for a running slot (or no longer do): while they do, the interface calls
    // Scheduler::slotCheck a few times a second.
    virtual void slotWaitsChanged(bool waiting) { static_cast<void>(waiting); }
};

// Leaves the process at once with a status, after its message has been shown; no shutdown runs.
class FatalExit : public std::exception {
  public:
    explicit FatalExit(int status) : status_(status) {}
    int status() const { return status_; }
    const char* what() const noexcept override { return "fatal exit"; }

  private:
    int status_;
};

} // namespace vektrin
