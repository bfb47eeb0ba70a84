// Texts that fit at the windows' first sizes in the three locales the program is used in: the
// task grid's titles, dates and times (AM/PM included) and a task name of 40 characters, and a
// resource's waiting time shown as a length.

#include "editor_test_fixture.h"
#include "ui/db_controls.h"
#include "ui/editors.h"
#include "ui/task_grid.h"
#include "ui_fixture.h"

#include <QHeaderView>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QTest>
#include <clocale>
#include <cmath>

using namespace vektrin;
using namespace vektrin::test;

class FitTest : public QObject {
    Q_OBJECT
  private slots:
    void gridAndWaitingTime_data();
    void gridAndWaitingTime();
    void yellowReadsOnItsBackground();
};

namespace {

// The contrast ratio of two colours, from 1 (none) to 21.
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

void FitTest::gridAndWaitingTime_data() {
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<int>("points"); // the interface font's size; 0 for the platform's
    for (const char* l : {"en_US.UTF-8", "de_DE.UTF-8", "ru_RU.UTF-8"})
        for (int points : {0, 13})
            QTest::addRow("%s, %d pt", l, points) << QByteArray(l) << points;
}

void FitTest::gridAndWaitingTime() {
    QFETCH(QByteArray, locale);
    QFETCH(int, points);
    if (!shortDateFormatOfLocale(locale.constData())) QSKIP("locale not installed");
    const QFont platformFont = QApplication::font();
    QFont font = platformFont;
    if (points) font.setPointSize(points);
    QApplication::setFont(font);
    auto restore = qScopeGuard([&] { QApplication::setFont(platformFont); });
    UiEnv env;
    env.regional = RegionalSettings::fromLocale(locale.constData());
    auto form = env.startForm();
    QVERIFY(form);
    addTask(*form, "Nightly backup of the accounting database", [](TDataCtrl& d) {
        d.Table1LastDate.setDateTime(*tryEncodeDate(2026, 12, 28));
        d.Table1LastTime.setDateTime(*tryEncodeTime(23, 58, 58));
    });
    if (!form->isVisible()) form->ShowMainFormClick();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    TDBGrid* grid = form->DBGrid1;
    QHeaderView* header = grid->horizontalHeader();
    const int margin = 2 * grid->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    const int padding = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 1;
    QStringList problems;
    for (int c = 0; c < 4; ++c) {
        const QString title = grid->model()->headerData(c, Qt::Horizontal).toString();
        const QString cell = grid->model()->index(0, c).data().toString();
        const int title_ = header->fontMetrics().horizontalAdvance(title) + margin;
        const int cell_ = grid->fontMetrics().horizontalAdvance(cell) + padding;
        // The status column's cells may run on; its title is in view, whole.
        const int room = c == 3 ? grid->viewport()->width() - header->sectionPosition(c)
                                : header->sectionSize(c);
        if (title_ > room)
            problems
                << QStringLiteral("title \"%1\" needs %2 of %3").arg(title).arg(title_).arg(room);
        if (c < 3 && cell_ > room)
            problems << QStringLiteral("\"%1\" needs %2 of %3").arg(cell).arg(cell_).arg(room);
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));

    TDataCtrl& d = form->scheduler().dataCtrl();
    d.Table2.append();
    d.Table2ResourceNo.setInteger(1);
    d.Table2MaxWait.setDateTime(*tryEncodeTime(0, 10, 0));
    d.Table2.post();
    auto editor = createResourceEditor(form->scheduler(), form.get());
    QCOMPARE(editor->findChild<QLineEdit*>("EditMaxWait")->text(), QString("00:10:00"));
    QCOMPARE(editor->findChild<DBGrid*>("DBGrid1")->cellText(0, 2), QString("00:10:00"));
}

void FitTest::yellowReadsOnItsBackground() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    form->paintStatusColor(StatusYellow);
    const QPalette p = form->ExceptionBtn->palette();
    QVERIFY(contrast(p.color(QPalette::ButtonText), p.color(QPalette::Button)) >= 4.5);
    QVERIFY(contrast(p.color(QPalette::ButtonText), p.color(QPalette::Window)) >= 4.5);
}

QTEST_MAIN(FitTest)
#include "fit_test.moc"
