#pragma once
// Who follows a table: grids and bound controls, told what they need to repaint.

#include <vector>

namespace vektrin {

class Table;

// Receives what grids and bound controls need to repaint; silent while controls are disabled.
class TableObserver {
  public:
    virtual ~TableObserver() = default;
    virtual void dataSetChanged(Table&) {} // rows added, removed or re-read
    virtual void recordChanged(Table&) {}  // current record moved or its values changed
    virtual void stateChanged(Table&) {}   // browse/edit/insert
};

class Observers {
  public:
    void add(TableObserver* o) { list_.push_back(o); }
    void remove(TableObserver* o);
    void disable() { ++disabled_; }
    // The last enable tells them of the whole data set when anything changed meanwhile.
    void enable(Table& table);
    bool disabled() const { return disabled_ > 0; }
    void tell(Table& table, void (TableObserver::*event)(Table&));

  private:
    std::vector<TableObserver*> list_;
    int disabled_ = 0;
    bool pendingDataSet_ = false;
};

} // namespace vektrin
