// The protocol viewer: loading the file with the newest date, clearing counted back from that
// date, the number field's limits, and a failed clearing that keeps every line.

#include "engine/protocol_file.h"
#include "ui/protocol_form.h"
#include "ui_fixture.h"

#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTextDocument>

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
    void everyLineCanBeReadWhole_data();
    void everyLineCanBeReadWhole();
    void opensCentredOnTheScreenAtItsLastSize();
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

void ProtocolFormTest::everyLineCanBeReadWhole_data() {
    QTest::addColumn<int>("width");     // of the viewer
    QTest::addColumn<bool>("sideways"); // a horizontal scroll bar is needed
    QTest::newRow("at its first size") << 0 << true;
    QTest::newRow("made narrower") << 420 << true;
    QTest::newRow("made wide enough") << 2400 << false;
}

// A line longer than the list is wide: the list scrolls sideways to its end, whichever line it
// is (the widest here is neither the last nor the one with most characters), and its tool tip
// reads it whole.
void ProtocolFormTest::everyLineCanBeReadWhole() {
    QFETCH(int, width);
    QFETCH(bool, sideways);
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    const auto& r = env.regional;
    const QString wide = "#wide " + QString(120, 'W') + " <b>end</b>  two blanks";
    std::string content;
    for (int i = 0; i < 40; ++i)
        content += line(r, day(2026, 12, 1), "#i " + std::string(150, 'i'));
    content += line(r, day(2026, 12, 2), wide.toStdString());
    for (int i = 0; i < 200; ++i)
        content += line(r, day(2026, 12, 3), "#short " + std::to_string(i));
    writeFile(env.log(), content);
    TProtocolForm& v = *form->ProtocolForm;
    QCOMPARE(v.size(), QSize(592, 373));
    if (width) v.resize(width, 373);
    v.show();
    QCoreApplication::processEvents();
    QListView* list = v.StringGrid1;
    const int row = 40;
    const QModelIndex index = list->model()->index(row, 0);
    const QString text = index.data().toString();
    QVERIFY(text.endsWith(wide));
    const int textWidth = list->fontMetrics().horizontalAdvance(text);
    QScrollBar* bar = list->horizontalScrollBar();
    // Scrolled to the line and then to the right end, the row shows the line's last character.
    list->scrollTo(index);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    bar->setValue(bar->maximum());
    const QRect rect = list->visualRect(index);
    QVERIFY2(rect.left() + textWidth <= list->viewport()->width() - 1 && rect.width() >= textWidth,
             qPrintable(QString("row %1..%2, text %3, viewport %4")
                            .arg(rect.left())
                            .arg(rect.right())
                            .arg(textWidth)
                            .arg(list->viewport()->width())));
    QCOMPARE(bar->isVisible(), sideways);
    // The tool tip shows the line as it reads: markup-like text and blanks untouched.
    QTextDocument tip;
    tip.setHtml(index.data(Qt::ToolTipRole).toString());
    QCOMPARE(tip.toPlainText(), text);
    tip.setHtml(list->model()->index(100, 0).data(Qt::ToolTipRole).toString());
    QVERIFY(tip.toPlainText().endsWith("#short 59"));
    QVERIFY(!list->model()->index(241, 0).data(Qt::ToolTipRole).isValid()); // the empty row
    v.hide();
}

// Each showing opens centred on the screen, whatever the main window's place; a size the
// operator gave it stays for the next showing.
void ProtocolFormTest::opensCentredOnTheScreenAtItsLastSize() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    form->move(0, 0);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QStringList seen;
    for (int showing = 0; showing < 2; ++showing) {
        onNextModal([&](QWidget* w) {
            // Within the few pixels of a window frame not known before the first showing.
            const QPoint off = w->frameGeometry().center() - screen.center();
            seen << QString("%1x%2 off %3,%4")
                        .arg(w->width())
                        .arg(w->height())
                        .arg(qAbs(off.x()) <= 4 ? 0 : off.x())
                        .arg(qAbs(off.y()) <= 4 ? 0 : off.y());
            w->move(5, 5); // the operator moves it, then resizes it
            w->resize(700, 420);
            static_cast<QDialog*>(w)->reject();
        });
        form->ProtocolBtnClick();
    }
    QCOMPARE(seen, (QStringList{"592x373 off 0,0", "700x420 off 0,0"}));
}

QTEST_MAIN(ProtocolFormTest)
#include "protocol_form_test.moc"
