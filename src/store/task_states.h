#pragma once
// The named states of a task: its completion code (EndCode). The numbers are what the tables store,
// written out so that a search for one finds it here.

#include <cmath>
#include <optional>

namespace vektrin {

class Field;

// What last happened to a task; the status text of each is in the string table (Sost0..Sost14).
enum class CompletionCode : int {
    NotExecutedYet = 0,
    Completed = 1, // ExitCode tells how
    Runs = 2,
    InterruptedByPerson = 3,
    InterruptedByProgram = 4,
    Suspended = 5,
    Resumed = 6,
    WaitingForResources = 7,
    SkippedResourcesBusy = 8,
    Unknown = 9, // a state of an earlier run that no process stands behind any more
    WaitingTimeOver = 10,
    WaitingCancelled = 11,
    LaunchError = 12,
    WaitingForScheduling = 13, // its launch fell into a pause of scheduling
    SchedulingStarted = 14,
};

// The code an EndCode value holds; nullopt for a number that is none of them.
std::optional<CompletionCode> completionCode(double endCode);
// The code of a task record's EndCode field, and setting it (the record being edited).
std::optional<CompletionCode> completionCode(const Field& endCode);
void setCompletionCode(Field& endCode, CompletionCode code);

} // namespace vektrin
