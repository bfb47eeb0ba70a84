// The protocol viewer: loading the file with the newest date, clearing counted back from that
// date, the number field's limits, and a failed clearing that keeps every line.

#include "engine/protocol_file.h"
#include "ui/protocol_form.h"
#include "ui_fixture.h"

#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

using namespace vektrin;
using namespace vektrin::test;

namespace {

DateTime day(int y, int m, int d) {
    return *tryEncodeDate(y, m, d);
}

std::string line(const RegionalSettings& r, DateTime date, const std::string& text) {
    return r.formatProtocolStamp(date + 0.5) + text + "\r\n";
}

QStringList rows(TProtocolForm& viewer) {
    QStringList out;
    auto* m = viewer.StringGrid1->model();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, 0).data().toString();
    return out;
}

QStringList marks(TProtocolForm& viewer) {
    QStringList out;
    for (const QString& row : rows(viewer))
        out << (row.contains('#') ? row.mid(row.indexOf('#')) : row);
    return out;
}

} // namespace

class ProtocolFormTest : public QObject {
    Q_OBJECT
  private slots:
    void loadsEveryLineAndTheNewestDate();
    void emptyProtocol();
    void clearingCountsBackFromTheNewestLine_data();
    void clearingCountsBackFromTheNewestLine();
    void numberFieldKeepsToItsRange_data();
    void numberFieldKeepsToItsRange();
    void failedClearingKeepsEveryLine();
    void showingFromTheMainWindowReloadsAndWritesItsLines();
};

void ProtocolFormTest::loadsEveryLineAndTheNewestDate() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    const auto& r = env.regional;
    writeFile(env.log(), line(r, day(2026, 11, 30), "#a") + line(r, day(2026, 12, 3), "#newest") +
                             "#dateless continuation\r\n" +
                             line(r, day(2026, 12, 1), "#older, later") +
                             line(r, day(2026, 12, 2), "#Очень"));
    TProtocolForm& v = *form->ProtocolForm;
    v.StringsCreate();
    QCOMPARE(marks(v), (QStringList{"#a", "#newest", "#dateless continuation", "#older, later",
                                    "#Очень", ""}));
    QCOMPARE(rows(v)[1], QString("03.12.2026 12:00:00 #newest"));
    QCOMPARE(v.LastProtocolDate, day(2026, 12, 3));
    v.StringsDestroy();
    QCOMPARE(rows(v), QStringList{""});
    QCOMPARE(v.LastProtocolDate, day(2026, 12, 3)); // kept until the next loading
}

void ProtocolFormTest::emptyProtocol() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    writeFile(env.log(), "");
    TProtocolForm& v = *form->ProtocolForm;
    v.StringsCreate();
    QCOMPARE(rows(v), QStringList{""});
    QCOMPARE(v.LastProtocolDate, 0.0);
    for (int days : {0, 1, 100}) {
        v.UpDown1->setValue(days);
        v.ClearButtonClick();
        QCOMPARE(readFile(env.log()), std::string());
        QCOMPARE(rows(v), QStringList{""});
    }
}

void ProtocolFormTest::clearingCountsBackFromTheNewestLine_data() {
    QTest::addColumn<int>("days");
    QTest::addColumn<QStringList>("kept");
    // Viewed on 12-06: the newest line (12-01) is the reference, not today. A line without a
    // date is kept by every clearing: nothing says it is old.
    QTest::newRow("3 days") << 3 << QStringList{"#11-29", "#11-30", "#dateless", "#12-01", ""};
    QTest::newRow("1 day") << 1 << QStringList{"#dateless", "#12-01", ""};
    QTest::newRow("0 days keep only the dateless") << 0 << QStringList{"#dateless", ""};
    QTest::newRow("100 days keep all")
        << 100 << QStringList{"#11-20", "#11-28", "#11-29", "#11-30", "#dateless", "#12-01", ""};
}

void ProtocolFormTest::clearingCountsBackFromTheNewestLine() {
    QFETCH(int, days);
    QFETCH(QStringList, kept);
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    env.clock.set(2026, 12, 6, 9, 0, 0);
    const auto& r = env.regional;
    std::string content;
    for (int d : {20, 28, 29, 30})
        content += line(r, day(2026, 11, d), "#11-" + std::to_string(d));
    content += "#dateless\r\n" + line(r, day(2026, 12, 1), "#12-01");
    writeFile(env.log(), content);
    TProtocolForm& v = *form->ProtocolForm;
    v.StringsCreate();
    QCOMPARE(v.LastProtocolDate, day(2026, 12, 1));
    v.UpDown1->setValue(days);
    QTest::mouseClick(v.ClearButton, Qt::LeftButton);
    QCOMPARE(marks(v), kept);
    QCOMPARE(form->messages.size(), size_t(0));
    // The viewer itself writes no protocol line, and the protocol is open again.
    QCOMPARE(QString::fromStdString(readFile(env.log())).count("\r\n"), kept.size() - 1);
    form->scheduler().WriteProtocol("#after");
    QCOMPARE(env.protocol().back(), std::string("#after"));
}

void ProtocolFormTest::numberFieldKeepsToItsRange_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("used");
    QTest::newRow("in range") << "3" << 3;
    QTest::newRow("upper bound") << "100" << 100;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("above the range stops at the digit that would pass it") << "150" << 15;
    QTest::newRow("negative is refused") << "-5" << 5;
    QTest::newRow("letters are refused") << "ab" << 10;
    QTest::newRow("emptied falls back to the last number") << "" << 10;
}

void ProtocolFormTest::numberFieldKeepsToItsRange() {
    QFETCH(QString, typed);
    QFETCH(int, used);
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    TProtocolForm& v = *form->ProtocolForm;
    auto* edit = v.findChild<QLineEdit*>("Edit1");
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, typed);
    v.ClearButtonClick();
    QCOMPARE(v.UpDown1->value(), used);
    QCOMPARE(edit->text(), QString::number(used));
}

void ProtocolFormTest::failedClearingKeepsEveryLine() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    const auto& r = env.regional;
    const std::string content =
        line(r, day(2026, 11, 1), "#old") + line(r, day(2026, 12, 7), "#new");
    writeFile(env.log(), content);
    setRewriteStepHook([](RewriteStep step) {
        if (step == RewriteStep::LinesCopied) throw std::runtime_error("disk full");
    });
    TProtocolForm& v = *form->ProtocolForm;
    v.StringsCreate();
    v.ClearButtonClick();
    setRewriteStepHook({});
    QCOMPARE(form->messages.size(), size_t(1));
    QCOMPARE(form->kinds.back(), MessageKind::Error);
    QVERIFY(QString::fromStdString(form->messages.back()).contains("disk full"));
    QCOMPARE(readFile(env.log()), content);
    QCOMPARE(marks(v), (QStringList{"#old", "#new", ""}));
}

void ProtocolFormTest::showingFromTheMainWindowReloadsAndWritesItsLines() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    QStringList seen;
    onNextModal([&](QWidget* w) {
        auto* v = qobject_cast<TProtocolForm*>(w);
        QVERIFY(v);
        const QStringList shown = rows(*v);
        seen << shown.mid(shown.size() - 2);
        v->findChild<QPushButton*>("ExitButton")->click();
    });
    form->ProtocolBtn->click();
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen[0].endsWith("Protocol viewing beginned ..."));
    QCOMPARE(seen[1], QString());
    QCOMPARE(env.protocol()[env.protocol().size() - 3],
             std::string("Protocol viewing completed ..."));
    // Closed, the viewer holds no lines.
    QCOMPARE(form->ProtocolForm->lines().lineCount(), 0);
}

QTEST_MAIN(ProtocolFormTest)
#include "protocol_form_test.moc"
