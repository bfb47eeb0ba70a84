#include "store/running_tasks.h"

#include <algorithm>

namespace vektrin {

void RunningTaskTable::initialise(int count) {
    slots_.assign(static_cast<std::size_t>(std::clamp(count, 1, MaxRunningTaskSlots)), {});
}

int RunningTaskTable::AppIndex(std::int32_t appId) const {
    for (int i = 1; i <= size(); ++i)
        if (slot(i).occupied() && slot(i).AppID == appId) return i;
    return 0;
}

ResourceMask RunningTaskTable::CurrentUsedResources() const {
    ResourceMask used = 0;
    for (const auto& s : slots_)
        if (s.occupied()) used = resource_rule::hold(used, s.Conflicts);
    return used;
}

bool RunningTaskTable::anyTaskRunning() const {
    return std::any_of(slots_.begin(), slots_.end(), [](const auto& s) { return s.occupied(); });
}

int RunningTaskTable::freeSlot() const {
    for (int i = 1; i <= size(); ++i)
        if (!slot(i).occupied()) return i;
    return 0;
}

void ResourceTable::initialise() {
    for (auto& e : entries_)
        e = TResourceEntry{};
}

void ResourceTable::load(Table& resources) {
    Field& no = resources.field("ResourceNo");
    Field& name = resources.field("ResourceName");
    Field& maxWait = resources.field("MaxWait");
    for (resources.first(); !resources.eof(); resources.next()) {
        const std::int64_t n = no.asInteger();
        if (n < 1 || n > 31) continue;
        TResourceEntry& e = entry(static_cast<int>(n));
        e.ResourceName = name.asString();
        e.Mask = resourceBit(n);
        e.MaxWait = maxWait.asDateTime();
    }
}

DateTime ResourceTable::longestWait(ResourceMask conflicts) const {
    DateTime longest = 0;
    for (const auto& e : entries_)
        if ((e.Mask & conflicts) != 0 && e.MaxWait > longest) longest = e.MaxWait;
    return longest;
}

} // namespace vektrin
