// The output viewer and the word on a failure, under the offscreen platform: the grid menu offers
// "Output..." once a task has a run, the viewer shows the runs as the files hold them (bytes that
// are not UTF-8 as replacement characters), and a failure headless is one line on standard error.

#include "ui/output_form.h"
#include "ui/tray_icon.h"
#include "ui_fixture.h"

#include <QAction>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace vektrin;
using namespace vektrin::test;

namespace {

// What the program writes to standard error meanwhile.
class StandardError {
  public:
    explicit StandardError(const std::string& path) : path_(path) {
        std::fflush(stderr);
        saved_ = dup(2);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(fd, 2);
        close(fd);
    }
    ~StandardError() { restore(); }
    std::string text() {
        restore();
        return readFile(path_);
    }

  private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
    }
    std::string path_;
    int saved_ = -1;
};

struct OutputEnv : UiEnv {
    std::string root() const { return dir.file("output"); }

    std::unique_ptr<TestForm> start() {
        MainFormPlatform p = platform();
        p.config.outputDirectory = root();
        auto form = std::make_unique<TestForm>(p);
        if (form->start() != -1) return nullptr;
        form->Timer1.stop();
        return form;
    }

    // Runs the task; what it "prints" goes into its run file, then it ends with status.
    void run(TestForm& form, std::int32_t id, const std::string& printed, int status) {
        selectTask(form, id);
        form.RunNowClick();
        writeFile(processes.launches.back().outputPath, printed);
        processes.exit(processes.lastHandle, status);
        form.scheduler().Timer1Timer();
    }
};

QStringList rows(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList lines(TOutputForm* viewer) {
    QStringList out;
    for (int i = 0; i < viewer->lines().lineCount(); ++i)
        out << viewer->lines().line(i);
    return out;
}

} // namespace

class OutputFormTest : public QObject {
    Q_OBJECT
  private slots:
    void gridMenuOffersTheViewerOnceATaskHasRun();
    void headlessFailuresAreOneLineOnStandardError();
};

void OutputFormTest::gridMenuOffersTheViewerOnceATaskHasRun() {
    OutputEnv env;
    auto form = env.start();
    QVERIFY(form);
    const auto id = addTask(*form, "report");
    selectTask(*form, id);
    form->PopupMenu1Popup();
    QVERIFY(!form->Output->isVisible());

    env.run(*form, id, "first run\n", 0);
    env.clock.advanceSeconds(90);
    env.run(*form, id, "line one\nbad \xff bytes\r\nlast line\n", 3);
    selectTask(*form, id);
    form->PopupMenu1Popup();
    QVERIFY(form->Output->isVisible());
    QCOMPARE(form->Output->text(), QString("Output..."));

    form->Output->trigger();
    TOutputForm* viewer = form->OutputForm;
    QVERIFY(viewer->isVisible());
    QCOMPARE(viewer->windowTitle(), QString("Output of <report>"));
    QCOMPARE(rows(viewer->RunList), (QStringList{"07.12.2026 10:02:00  Completed with a code 3",
                                                 "07.12.2026 10:00:30  Completed successfully"}));
    QCOMPARE(lines(viewer),
             (QStringList{"line one", QString("bad ") + QChar(0xFFFD) + " bytes", "last line"}));
    viewer->RunList->setCurrentRow(1);
    QCOMPARE(lines(viewer), QStringList{"first run"});
    // A run begun and ended while the viewer is open shows; the run shown stays shown, and each
    // line of the list is whole, in view or as its tool tip.
    env.clock.advanceSeconds(90);
    selectTask(*form, id);
    form->RunNowClick();
    viewer->refreshRuns();
    QCOMPARE(rows(viewer->RunList).front(), QString("07.12.2026 10:03:30  Runs"));
    env.processes.exit(env.processes.lastHandle, 0);
    form->scheduler().Timer1Timer();
    viewer->refreshRuns();
    QCOMPARE(rows(viewer->RunList).front(), QString("07.12.2026 10:03:30  Completed successfully"));
    QCOMPARE(lines(viewer), QStringList{"first run"});
    QCOMPARE(viewer->RunList->item(0)->toolTip(), viewer->RunList->item(0)->text());
    QCOMPARE(viewer->ExitButton->text(), QString("&Close"));
    viewer->ExitButtonClick();
    QVERIFY(!viewer->isVisible());
}

void OutputFormTest::headlessFailuresAreOneLineOnStandardError() {
    OutputEnv env;
    auto form = env.start();
    QVERIFY(form);
    const auto fails = addTask(*form, "nightly\nbackup");
    const auto missing = addTask(*form, "missing");
    std::string said;
    {
        StandardError err(env.dir.file("stderr"));
        env.run(*form, fails, "why it failed\n", 3);
        env.run(*form, fails, "again\n", 4); // within the minute: not said again
        selectTask(*form, missing);
        env.processes.nextFailure = LaunchFailure::ProgramNotFound;
        form->RunNowClick();
        said = err.text();
    }
    QCOMPARE(QString::fromStdString(said),
             QString("vektrin: nightly backup: Completed with a code 3\n"
                     "vektrin: missing: Launch error : Program not found\n"));

    // Clicking the last notification opens the viewer on its task.
    emit form->TrayIcon1->messageClicked();
    QVERIFY(form->OutputForm->isVisible());
    QCOMPARE(form->OutputForm->appId(), missing);
    QCOMPARE(rows(form->OutputForm->RunList), QStringList{"No output of this task has been kept."});
}

QTEST_MAIN(OutputFormTest)
#include "output_form_test.moc"
