#pragma once
// The words of the control socket and of the state file beside it, shared by the scheduler that
// answers and vektrinctl that asks, so the two ends cannot drift apart. A request and its answer
// are one JSON object on one line each.

#include "platform/clock.h"
#include "platform/strings.h"

#include <cstdint>
#include <string_view>

namespace vektrin::wire {

// A request: {"command": ..., "task": ..., "deadline": ...}.
inline constexpr char Command[] = "command";
inline constexpr char Task[] = "task";
// The last moment the request may be carried out, in deadlineClockMs(), a little before its
// client gives up: a client that gave up can say that nothing was done. A request without one
// (from an older client) is carried out whenever its turn comes.
inline constexpr char Deadline[] = "deadline";

// Milliseconds of the boot clock, which all processes of the machine share (as they share the
// monotonic one) and which goes on while the machine sleeps (which the monotonic one does not): a
// command typed just before a suspend is not carried out after the resume, its wait long over.
inline std::int64_t deadlineClockMs() {
    return SystemClock().elapsedMs().value_or(0);
}

inline constexpr char Status[] = "status";
inline constexpr char Run[] = "run";
inline constexpr char Interrupt[] = "interrupt";
inline constexpr char CancelWait[] = "cancel-wait";
inline constexpr char Stop[] = "stop";
inline constexpr char Resume[] = "resume";
// Brings the main window forward (a second start of the desktop program); refused headless.
inline constexpr char Raise[] = "raise";

// Every answer: {"ok": true, "message": ...} or {"ok": false, "error": ...}.
inline constexpr char Ok[] = "ok";
inline constexpr char Error[] = "error";
inline constexpr char Message[] = "message";
// In the refusal of a request whose deadline had passed: {"ok": false, "expired": true, ...}.
inline constexpr char Expired[] = "expired";

// The status answer.
inline constexpr char Pid[] = "pid";
inline constexpr char Started[] = "started";
inline constexpr char TableDirectory[] = "tableDirectory";
inline constexpr char Log[] = "log";
inline constexpr char Socket[] = "socket";
inline constexpr char Version[] = "version";
inline constexpr char Colour[] = "colour";
inline constexpr char Paused[] = "paused";
inline constexpr char PausedBy[] = "pausedBy";
inline constexpr char OpenWindows[] = "openWindows";
inline constexpr char RunningTasks[] = "runningTasks";
inline constexpr char Slot[] = "slot";
inline constexpr char AppId[] = "appId";
inline constexpr char AppName[] = "appName";
inline constexpr char Since[] = "since";

// The indicator's colours.
inline constexpr char Green[] = "green";
inline constexpr char Red[] = "red";
inline constexpr char Yellow[] = "yellow";
inline constexpr char NoColour[] = "none";

// The windows that pause scheduling, as "openWindows" names them, each with the refusal the
// main window's Exit gives while it is open (every operator command gets it meanwhile).
struct PausingWindow {
    const char* name;
    std::string_view refusal;
};
inline constexpr PausingWindow TasksWindow{"Tasks", str::CloseTasksFormBeforeExit};
inline constexpr PausingWindow ConflictsWindow{"Conflicts", str::CloseConflictsFormBeforeExit};
inline constexpr PausingWindow ExceptionsWindow{"Exceptions", str::CloseExceptionsFormBeforeExit};
inline constexpr PausingWindow ProtocolWindow{"Protocol", str::CloseProtocolFormBeforeExit};
inline constexpr PausingWindow PausingWindows[] = {TasksWindow, ConflictsWindow, ExceptionsWindow,
                                                   ProtocolWindow};

// The state file, written when the scheduler starts listening.
namespace state {
inline constexpr char Pid[] = "PID";
inline constexpr char Started[] = "Started";
inline constexpr char TableDirectory[] = "TableDirectory";
inline constexpr char Log[] = "Log";
inline constexpr char Socket[] = "Socket";
inline constexpr char SocketProblem[] = "SocketProblem";
inline constexpr char Version[] = "Version";
} // namespace state

} // namespace vektrin::wire
