// The editors over real table files: closing by other means than "Exit" asks before it stores,
// and an editor opened shows what another writer (vektrinctl) put in the tables meanwhile.

#include "../ctl/in_process.h"
#include "editor_test_fixture.h"
#include "ui/editor_support.h"
#include "ui/editors.h"

#include <QApplication>
#include <QTest>

using namespace vektrin;
using namespace vektrin::test;
using Answer = EditorForm::SaveAnswer;

namespace {

ProgramOutcome secondWriter(EditorWorld& world, std::vector<std::string> args) {
    args.insert(args.begin(), {"--aliases", world.dir.file("aliases.ini")});
    return runVektrinctl(args);
}

} // namespace

class EditorTablesTest : public QObject {
    Q_OBJECT
  private slots:
    void closingAsksBeforeStoring_data();
    void closingAsksBeforeStoring();
    void anEditorShowsWhatAnotherWriterAdded();
};

void EditorTablesTest::closingAsksBeforeStoring_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("inTheFile");
    QTest::newRow("yes stores") << Answer::Yes << false << "renamed";
    QTest::newRow("no drops") << Answer::No << false << "old";
    QTest::newRow("cancel keeps the window and the change") << Answer::Cancel << true << "old";
}

void EditorTablesTest::closingAsksBeforeStoring() {
    QFETCH(Answer, answer);
    QFETCH(bool, open);
    QFETCH(QString, inTheFile);
    EditorWorld world;
    world.addTask("old");
    auto dialog = createTaskEditor(*world.scheduler, nullptr);
    auto* editor = static_cast<EditorForm*>(dialog.get());
    int asked = 0;
    editor->askSave = [&] {
        ++asked;
        return answer;
    };
    editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    auto* name = editor->findChild<QLineEdit*>("EditAppName");
    name->selectAll();
    QTest::keyClicks(name, "renamed");
    QTest::keyClick(name, Qt::Key_Return); // in the record, not yet posted
    editor->close();
    QCOMPARE(asked, 1);
    QCOMPARE(editor->isVisible(), open);
    // What the file holds, read by another program.
    const ProgramOutcome listed = secondWriter(world, {"tasks"});
    QVERIFY2(QString::fromStdString(listed.out).contains(inTheFile), listed.out.c_str());
    if (open) QCOMPARE(world.dm().Table1.state(), Table::State::Edit);
    editor->reject();
    QCOMPARE(asked, 1);
    // An untouched record closes without a question.
    auto again = createTaskEditor(*world.scheduler, nullptr);
    static_cast<EditorForm*>(again.get())->askSave = [&] { return ++asked, Answer::Cancel; };
    again->show();
    again->close();
    QVERIFY(!again->isVisible());
}

void EditorTablesTest::anEditorShowsWhatAnotherWriterAdded() {
    EditorWorld world;
    world.addTask("first");
    world.addPeriod([](TDataCtrl& d) { d.Table3Interval.setInteger(0); });
    QCOMPARE(secondWriter(world, {"silence", "add", "--daily", "--from", "12:00", "--to", "13:00"})
                 .exitCode,
             0);
    QCOMPARE(secondWriter(world, {"add", "second", "--command", "true"}).exitCode, 0);
    const struct {
        std::unique_ptr<QDialog> (*create)(Scheduler&, QWidget*);
        Table* table;
    } editors[] = {{createExceptionEditor, &world.dm().Table3},
                   {createTaskEditor, &world.dm().Table1}};
    for (const auto& e : editors) {
        auto editor = e.create(*world.scheduler, nullptr);
        QCOMPARE(e.table->recordCount(), 2);
    }
}

QTEST_MAIN(EditorTablesTest)
#include "editor_tables_test.moc"
