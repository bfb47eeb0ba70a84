#pragma once
// Run-time tables of the main window: the task processes running now and the known resources.

#include "platform/date_time.h"
#include "platform/process.h"
#include "platform/windows.h"
#include "store/table.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vektrin {

// How many tasks run at once unless [Schedule] MaxRunning says otherwise, and its bounds.
constexpr int RunningTaskSlots = 20;
constexpr int MaxRunningTaskSlots = 1000;
constexpr int ResourceEntries = 32;

using ResourceMask = std::uint32_t;

// Bit n-1 of a mask stands for resource n; the shift is taken modulo 32 everywhere.
inline ResourceMask resourceBit(std::int64_t resourceNo) {
    return ResourceMask{1} << (static_cast<std::uint64_t>(resourceNo - 1) & 31u);
}

// The resource rule of a launch, which the scheduler applies to the running tasks and the timeline
// replays minute by minute: a task needs the resources of its Conflicts bits; it launches only
// while none of them is held, and then holds them all until its process ends (the resources held
// are those of the tasks still running).
namespace resource_rule {

// The resources a task of that Conflicts value needs.
inline ResourceMask needed(std::int64_t conflicts) {
    return static_cast<ResourceMask>(conflicts);
}
// Those of them that are held: none, and the task may launch.
inline ResourceMask busy(ResourceMask needed, ResourceMask held) {
    return needed & held;
}
// What is held once the task launched.
inline ResourceMask hold(ResourceMask held, ResourceMask needed) {
    return held | needed;
}

} // namespace resource_rule

struct TRunningTask {
    std::int32_t AppID = 0;
    Table::Bookmark Bookmark = 0;
    std::intptr_t ProcessHandle = 0; // nonzero exactly while the slot is occupied
    std::intptr_t ThreadHandle = 0;
    std::uint32_t ProcessId = 0;
    std::uint32_t ThreadId = 0;
    ResourceMask Conflicts = 0;
    WindowId Window = 0;
    std::string Title; // AppName, at most 40 characters
    // The window mode waits for the task's first window.
    int RunType = 0;
    bool RunTypeApplied = false;
    // An error of the termination condition is reported once per launch.
    bool ConditionErrorReported = false;

    bool occupied() const { return ProcessHandle != 0; }
    ProcessInfo processInfo() const { return {ProcessHandle, ThreadHandle, ProcessId, ThreadId}; }
};

struct TResourceEntry {
    std::string ResourceName;
    ResourceMask Mask = 0;
    DateTime MaxWait = 0;
};

// Slots and entries are numbered from 1 as the operator and the protocol know them.
class RunningTaskTable {
  public:
    TRunningTask& slot(int number) { return slots_[number - 1]; }
    const TRunningTask& slot(int number) const { return slots_[number - 1]; }

    // Start-up: count slots (1 .. MaxRunningTaskSlots), every one free, no window, no title.
    void initialise(int count = RunningTaskSlots);
    int size() const { return static_cast<int>(slots_.size()); }
    // Lowest-numbered occupied slot of the task, or 0.
    int AppIndex(std::int32_t appId) const;
    ResourceMask CurrentUsedResources() const;
    bool anyTaskRunning() const;
    // Lowest-numbered free slot, or 0 when all are occupied.
    int freeSlot() const;

  private:
    std::vector<TRunningTask> slots_ = std::vector<TRunningTask>(RunningTaskSlots);
};

class ResourceTable {
  public:
    TResourceEntry& entry(int number) { return entries_[number - 1]; }
    const TResourceEntry& entry(int number) const { return entries_[number - 1]; }

    void initialise();
    // Fills entries 1..31 from the resources table; rows with other numbers are skipped.
    void load(Table& resources);
    // Longest MaxWait of the entries that share a bit with the mask; 0 when none does.
    DateTime longestWait(ResourceMask conflicts) const;

  private:
    std::array<TResourceEntry, ResourceEntries> entries_{};
};

} // namespace vektrin
