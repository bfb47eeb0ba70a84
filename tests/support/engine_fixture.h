#pragma once
// A scheduler in the test world: real tables in a temporary directory, with a fake clock,
// processes, windows and operator interface.

#include "support/test_world.h"

#include <functional>
#include <gtest/gtest.h>

namespace vektrin::test {

class EngineTest : public ::testing::Test, protected TestWorld {
  protected:
    std::unique_ptr<Scheduler> scheduler;

    Scheduler& make(std::vector<std::string> args = {}) {
        scheduler = makeScheduler(std::move(args));
        return *scheduler;
    }

    Scheduler& start() {
        make();
        EXPECT_EQ(scheduler->FormCreate(), Scheduler::StartResult::Running);
        return *scheduler;
    }

    // The status of a start-up that ends the program; 0 when it started instead.
    int failedStart() {
        make();
        try {
            scheduler->FormCreate();
        } catch (const FatalExit& e) {
            return e.status();
        }
        return 0;
    }

    TDataCtrl& dm() { return scheduler->dataCtrl(); }

    // Appends a task that runs "prog-<name>"; set fills its fields while the record is inserted.
    std::int32_t addTask(const std::string& name, const std::function<void(TDataCtrl&)>& set = {}) {
        return appendTask(dm(), name, [&](TDataCtrl& d) {
            d.Table1Application.setString("prog-" + name);
            if (set) set(d);
        });
    }

    // Appends a resource and has the scheduler read the resources again.
    void addResource(int number, DateTime maxWait) {
        Table& r = dm().Table2;
        r.append();
        dm().Table2ResourceNo.setInteger(number);
        dm().Table2MaxWait.setDateTime(maxWait);
        r.post();
        scheduler->resourceTable.load(r);
    }

    void select(std::int32_t appId) {
        Table& t = dm().Table1;
        for (t.first(); !t.eof(); t.next())
            if (dm().Table1AppID.asInteger() == appId) return;
        FAIL() << "no task " << appId;
    }

    // The operator's "Run now" on the task.
    RunNowResult runNow(std::int32_t appId) {
        select(appId);
        return scheduler->RunNowClick();
    }

    double code(std::int32_t appId) {
        const auto keep = dm().Table1.getBookmark();
        select(appId);
        const double c = dm().Table1EndCode.asFloat();
        dm().Table1.gotoBookmark(keep);
        return c;
    }
};

} // namespace vektrin::test
