#include "store/observers.h"

#include <algorithm>

namespace vektrin {

void Observers::remove(TableObserver* o) {
    list_.erase(std::remove(list_.begin(), list_.end(), o), list_.end());
}

void Observers::enable(Table& table) {
    if (disabled_ > 0 && --disabled_ == 0 && pendingDataSet_) {
        pendingDataSet_ = false;
        for (auto* o : std::vector<TableObserver*>(list_))
            o->dataSetChanged(table);
    }
}

// While the controls are disabled a change is only remembered: they see the whole data set anew
// when enabled. The copy lets an observer detach itself while it is told.
void Observers::tell(Table& table, void (TableObserver::*event)(Table&)) {
    if (disabled_) {
        pendingDataSet_ = true;
        return;
    }
    for (auto* o : std::vector<TableObserver*>(list_))
        (o->*event)(table);
}

} // namespace vektrin
