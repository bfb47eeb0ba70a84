// The scheduling timer on its real path (QTimer, the main window, the pass) with a clock that runs
// sixty times faster than real time, so that a minute passes in a second.

#include "ui_fixture.h"

#include <QMessageBox>
#include <QTest>
#include <chrono>

using namespace vektrin;
using namespace vektrin::test;

namespace {

class FastClock final : public Clock {
  public:
    explicit FastClock(DateTime start) : start_(start), origin_(std::chrono::steady_clock::now()) {}
    DateTime now() const override {
        const auto real = std::chrono::steady_clock::now() - origin_;
        const double ms = std::chrono::duration<double, std::milli>(real).count();
        return start_ + ms * Rate / MsPerDay;
    }
    double rate() const override { return Rate; }
    static constexpr double Rate = 60;

  private:
    DateTime start_;
    std::chrono::steady_clock::time_point origin_;
};

// A main window whose waiting message boxes really open and wait (a nested event loop), as they
// do for an operator who has stepped away; a pass's boxes are left open without waiting.
class BoxForm : public TMainForm {
  public:
    using TMainForm::TMainForm;
    void showMessage(std::string_view text, MessageKind) override {
        ++boxes;
        QMessageBox box(QMessageBox::NoIcon, "Vektrin", QString::fromUtf8(text.data()),
                        QMessageBox::Ok);
        box.exec();
    }
    void showPassMessage(const PassMessage&) override { ++passBoxes; }
    int boxes = 0;
    int passBoxes = 0;
};

double minutesOf(DateTime t) {
    return t * 1440;
}

} // namespace

class SchedulingTimerTest : public QObject {
    Q_OBJECT
  private slots:
    void aBoxLeftOpenHoldsNoMinute() {
        UiEnv env;
        FastClock clock(*tryEncodeDate(2026, 12, 7) + *tryEncodeTime(10, 0, 0, 500));
        MainFormPlatform platform = env.platform();
        BoxForm form(MainFormPlatform{clock, env.processes, env.windows, *env.settings,
                                      env.regional, platform.config});
        QCOMPARE(form.start(), -1);
        addTask(form, "every minute", [](TDataCtrl& d) {
            d.Table1Interval.setInteger(0);
            d.Table1Interupt.setBoolean(true); // a new instance each minute
        });
        // The first launch fails: its message box stays open across three minute boundaries,
        // and every one of them gets its pass.
        env.processes.nextFailure = LaunchFailure::ProgramNotFound;
        QTRY_VERIFY_WITH_TIMEOUT(form.passBoxes == 1, 20000);
        const double openedAt = minutesOf(clock.now());
        QTRY_VERIFY_WITH_TIMEOUT(minutesOf(clock.now()) > openedAt + 3.5, 10000);
        QCOMPARE(form.boxes, 0);
        QVERIFY(env.processes.launches.size() >= 4);
        QVERIFY(form.Timer2.isActive());
        form.shutdown();
    }
};

QTEST_MAIN(SchedulingTimerTest)
#include "scheduling_timer_test.moc"
