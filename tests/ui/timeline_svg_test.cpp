// The timeline's SVG read back as XML: one lane per task in the order of first launch, marks and
// bands where the minutes put them, names that XML cannot hold as they stand, sections of 60
// lanes, the empty chart, and a document the Qt SVG renderer accepts.

#include "engine/timeline_svg.h"

#include <QFont>
#include <QFontMetricsF>
#include <QSvgRenderer>
#include <QTest>
#include <QXmlStreamReader>
#include <clocale>
#include <cstdlib>
#include <ctime>

using namespace vektrin;
using namespace vektrin::timeline;

namespace {

DateTime day(int y, int m, int d) {
    return *tryEncodeDate(y, m, d);
}
DateTime at(int h, int m) {
    return *tryEncodeTime(h, m, 0);
}

Task task(const std::string& name, int appId, int interval, DateTime start, DateTime end,
          int repeat) {
    Task t;
    t.appId = appId;
    t.name = name;
    t.schedule.interval = interval;
    t.schedule.startTime = start;
    t.schedule.endTime = end;
    t.schedule.repeatInterval = repeat;
    return t;
}

const DateTime Monday = day(2024, 3, 4);

Model modelOf(Tables tables, DateTime from, DateTime to) {
    const std::vector<int> shown = defaultSelection(tables);
    return buildModel(std::move(tables), *makePeriod(from, to).period, shown);
}

RegionalSettings regional() {
    RegionalSettings r;
    r.shortDateFormat = "dd.mm.yyyy";
    r.longTimeFormat = "hh:nn:ss";
    return r;
}

// The elements of the document, each with its attributes, its text and the lane it lies in.
struct Element {
    QString name;
    QXmlStreamAttributes attributes;
    QString text;
    int lane = -1;   // the index of the lane group it is in, -1 outside any
    QString titleOf; // for a <title>: the element it describes
    double number(const char* attribute) const { return attributes.value(attribute).toDouble(); }
};

struct Parsed {
    QString error;
    std::vector<Element> elements;
    std::vector<QString> laneIds; // data-app-id of each lane, in document order
    std::vector<QString> laneNames;

    std::vector<const Element*> inLane(int lane, const QString& name) const {
        std::vector<const Element*> out;
        for (const Element& e : elements)
            if (e.lane == lane && e.name == name) out.push_back(&e);
        return out;
    }
    QStringList titles() const {
        QStringList out;
        for (const Element& e : elements)
            if (e.name == "title") out << e.text;
        return out;
    }
};

Parsed parse(const std::string& svg) {
    Parsed p;
    QXmlStreamReader xml(QByteArray::fromStdString(svg));
    std::vector<int> laneStack;
    std::vector<QString> names;
    std::vector<std::size_t> open; // elements not yet ended
    int lanes = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            Element e;
            e.name = xml.name().toString();
            e.attributes = xml.attributes();
            e.titleOf = names.empty() ? QString() : names.back();
            if (e.name == "g" && e.attributes.value("class") == QLatin1String("lane")) {
                laneStack.push_back(lanes++);
                p.laneIds.push_back(e.attributes.value("data-app-id").toString());
            } else {
                laneStack.push_back(laneStack.empty() ? -1 : laneStack.back());
            }
            e.lane = laneStack.back();
            names.push_back(e.name);
            open.push_back(p.elements.size());
            p.elements.push_back(e);
        } else if (xml.isCharacters() && !open.empty()) {
            p.elements[open.back()].text += xml.text();
        } else if (xml.isEndElement()) {
            const Element& last = p.elements[open.back()];
            open.pop_back();
            if (last.name == "text" && last.lane >= 0 &&
                static_cast<int>(p.laneNames.size()) == last.lane)
                p.laneNames.push_back(last.text);
            laneStack.pop_back();
            names.pop_back();
        }
    }
    if (xml.hasError()) p.error = xml.errorString();
    return p;
}

double x(const Model& model, DateTime moment) {
    const auto m = static_cast<Minute>(std::llround(moment * 1440));
    return SvgPage::PlotLeft + (SvgPage::PlotRight - SvgPage::PlotLeft) *
                                   static_cast<double>(m - model.period.begin) /
                                   static_cast<double>(model.period.end - model.period.begin);
}

} // namespace

class TimelineSvgTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void lanesInOrderOfFirstLaunch();
    void marksWhereTheirMinutesAre_data();
    void marksWhereTheirMinutesAre();
    void namesXmlCannotHoldAreEscaped();
    void sixtyLanesASectionAndClicksFindTheirLane();
    void theEmptyChartSaysSo();
    void silenceConflictsAndRegionalFormats();
    void numbersIgnoreTheLocalesDecimalComma();
    void axisLabelsNeverOverlap();
};

void TimelineSvgTest::lanesInOrderOfFirstLaunch() {
    Tables tables;
    tables.tasks = {task("late", 7, 2, at(18, 0), at(18, 0), 0), task("never", 8, 6, 0, 0, 0),
                    task("early", 9, 2, at(6, 0), at(6, 0), 0),
                    task("gone", 10, 2, at(1, 0), at(1, 0), 0)};
    tables.tasks[3].stopped = true;
    const Model model = modelOf(tables, Monday, Monday + 1);
    const std::string svg = renderSvg(model, regional());
    const Parsed p = parse(svg);
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
    QCOMPARE(p.laneIds, (std::vector<QString>{"9", "7", "8"}));
    QCOMPARE(p.laneNames, (std::vector<QString>{"early", "late", "never"}));
    QVERIFY(QSvgRenderer(QByteArray::fromStdString(svg)).isValid());
}

void TimelineSvgTest::marksWhereTheirMinutesAre_data() {
    QTest::addColumn<int>("interval");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<QList<double>>("ticks");   // moments of single marks
    QTest::addColumn<QList<double>>("bands");   // first and last moment of each band
    QTest::addColumn<QList<double>>("windows"); // begin and end of each window
    QTest::addColumn<bool>("conditional");

    QTest::newRow("noon") << 2 << at(12, 0) << at(12, 0) << 0 << QList<double>{at(12, 0)}
                          << QList<double>{} << QList<double>{at(12, 0), at(12, 1)} << false;
    QTest::newRow("every two hours from 06:00 to 10:00")
        << 2 << at(6, 0) << at(10, 0) << 120 << QList<double>{at(6, 0), at(8, 0), at(10, 0)}
        << QList<double>{} << QList<double>{at(6, 0), at(10, 1)} << false;
    // One minute is 0.6 units wide: a step of 2 minutes merges, one of 6 stays apart.
    QTest::newRow("every 2 minutes from 08:00 to 09:00 is a band")
        << 2 << at(8, 0) << at(9, 0) << 2 << QList<double>{} << QList<double>{at(8, 0), at(9, 0)}
        << QList<double>{at(8, 0), at(9, 1)} << false;
    QTest::newRow("every 6 minutes from 08:00 to 08:12 stays apart")
        << 2 << at(8, 0) << at(8, 12) << 6 << QList<double>{at(8, 0), at(8, 6), at(8, 12)}
        << QList<double>{} << QList<double>{at(8, 0), at(8, 13)} << false;
    QTest::newRow("a band only if its condition holds")
        << 2 << at(8, 0) << at(9, 0) << 1 << QList<double>{} << QList<double>{at(8, 0), at(9, 0)}
        << QList<double>{at(8, 0), at(9, 1)} << true;
}

void TimelineSvgTest::marksWhereTheirMinutesAre() {
    QFETCH(int, interval);
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(int, repeat);
    QFETCH(QList<double>, ticks);
    QFETCH(QList<double>, bands);
    QFETCH(QList<double>, windows);
    QFETCH(bool, conditional);
    Tables tables;
    tables.tasks = {task("t", 1, interval, start, end, repeat)};
    tables.tasks[0].conditional = conditional;
    const Model model = modelOf(tables, Monday, Monday + 1);
    const Parsed p = parse(renderSvg(model, regional()));
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));

    QList<double> tickX, expectedTickX;
    for (const Element* e : p.inLane(0, "line")) {
        QCOMPARE(e->number("x1"), e->number("x2"));
        tickX << e->number("x1");
        QCOMPARE(e->attributes.hasAttribute("stroke-dasharray"), conditional);
    }
    for (const double t : ticks)
        expectedTickX << std::round(x(model, Monday + t) * 10) / 10;
    QCOMPARE(tickX, expectedTickX);

    // Rectangles: the windows (light) and the bands (the launch colour or hatched).
    QList<double> windowX, bandX;
    for (const Element* e : p.inLane(0, "rect")) {
        const double x0 = e->number("x"), x1 = x0 + e->number("width");
        (e->attributes.value("fill") == QLatin1String("#d5e5f4") ? windowX : bandX) << x0 << x1;
    }
    auto near = [](const QList<double>& got, QList<double> want, const Model& m) {
        if (got.size() != want.size()) return false;
        for (qsizetype i = 0; i < got.size(); ++i)
            if (std::abs(got[i] - x(m, Monday + want[i])) > 0.11) return false;
        return true;
    };
    QVERIFY2(near(windowX, windows, model), qPrintable(QString::number(windowX.size())));
    QVERIFY2(near(bandX, bands, model), qPrintable(QString::number(bandX.size())));
    QCOMPARE(p.inLane(0, "path").size(), std::size_t(conditional && !bands.isEmpty() ? 1 : 0));
}

void TimelineSvgTest::namesXmlCannotHoldAreEscaped() {
    Tables tables;
    const std::string hostile = "A<b>&\"c' ]]> \x01\xff\xc0\xaf end";
    tables.tasks = {task(hostile, 1, 2, at(9, 0), at(9, 0), 0)};
    tables.resources = {{1, "<Printer & co>", 0}};
    tables.tasks.push_back(task("x</text><script/>", 2, 2, at(9, 0), at(9, 0), 0));
    tables.tasks[0].conflicts = tables.tasks[1].conflicts = 1;
    const std::string svg = renderSvg(modelOf(tables, Monday, Monday + 1), regional());
    const Parsed p = parse(svg);
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
    const QString replaced = QString::fromUtf8("A<b>&\"c' ]]> \uFFFD\uFFFD\uFFFD\uFFFD end");
    QCOMPARE(p.laneNames, (std::vector<QString>{replaced, "x</text><script/>"}));
    bool conflictTitle = false;
    for (const QString& t : p.titles())
        conflictTitle = conflictTitle || t.contains("held by <" + replaced + ">");
    QVERIFY(conflictTitle);
    QVERIFY(p.titles().join("\n").contains("<Printer & co> (1)"));
    for (const Element& e : p.elements)
        QVERIFY2(e.name != "script", "markup in a name became an element");
}

void TimelineSvgTest::sixtyLanesASectionAndClicksFindTheirLane() {
    Tables tables;
    for (int i = 0; i < 130; ++i)
        tables.tasks.push_back(
            task("task " + std::to_string(i), 1000 + i, 2, at(0, i % 60), at(0, i % 60), 0));
    const Model model = modelOf(tables, Monday, Monday + 1);
    QCOMPARE(sectionCount(model), 3);
    const Parsed p = parse(renderSvg(model, regional()));
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
    QCOMPARE(p.laneIds.size(), std::size_t(130));
    int sections = 0;
    for (const Element& e : p.elements)
        if (e.name == "g" && e.attributes.value("id").startsWith(QLatin1String("section-")))
            ++sections;
    QCOMPARE(sections, 3);
    const Element& svg = p.elements.front();
    QCOMPARE(svg.attributes.value("viewBox").toString(), QString("0 0 1123 2382"));
    QCOMPARE(svg.attributes.value("height").toString(), QString("630mm"));

    // A section alone is a page of its own with its 60 lanes.
    const Parsed second = parse(renderSvgSection(model, regional(), 1));
    QVERIFY2(second.error.isEmpty(), qPrintable(second.error));
    QCOMPARE(second.laneIds.size(), std::size_t(60));
    QCOMPARE(second.laneIds, std::vector<QString>(p.laneIds.begin() + 60, p.laneIds.begin() + 120));
    QCOMPARE(second.elements.front().attributes.value("viewBox").toString(),
             QString("0 0 1123 794"));
    QVERIFY(
        QSvgRenderer(QByteArray::fromStdString(renderSvgSection(model, regional(), 2))).isValid());

    // A point in each lane's row of its page finds that lane; the margins find none.
    for (int lane : {0, 59, 60, 61, 129}) {
        const double y = SvgPage::Height * (lane / 60) + SvgPage::LaneTop +
                         SvgPage::LaneHeight * (lane % 60) + SvgPage::LaneHeight / 2;
        QCOMPARE(laneAt(model, SvgPage::Margin + 5, y), lane);
        QCOMPARE(laneAt(model, SvgPage::PlotRight - 1, y), lane);
    }
    QCOMPARE(laneAt(model, SvgPage::Margin + 5, SvgPage::LaneTop - 1), -1);
    QCOMPARE(laneAt(model, 5, SvgPage::LaneTop + 1), -1);
    QCOMPARE(laneAt(model, 300, SvgPage::Height * 2 + SvgPage::LaneTop + 10 * 10 + 1), -1);
}

void TimelineSvgTest::theEmptyChartSaysSo() {
    Tables none;
    QVERIFY(QString::fromStdString(renderSvg(modelOf(none, Monday, Monday + 1), regional()))
                .contains("There are no tasks to show."));
    Tables quiet;
    quiet.tasks = {task("never", 1, 6, 0, 0, 0)};
    const std::string svg = renderSvg(modelOf(quiet, Monday, Monday + 1), regional());
    QVERIFY(QString::fromStdString(svg).contains("No task is due in this period."));
    QVERIFY(parse(svg).error.isEmpty());
    QVERIFY(QSvgRenderer(QByteArray::fromStdString(svg)).isValid());
}

void TimelineSvgTest::silenceConflictsAndRegionalFormats() {
    Tables tables;
    tables.tasks = {task("backup", 1, 2, at(22, 0), at(22, 0), 0),
                    task("print", 2, 2, at(22, 0), at(22, 0), 0)};
    tables.tasks[0].conflicts = tables.tasks[1].conflicts = 1;
    tables.resources = {{1, "Printer", 0}};
    Schedule sunday;
    sunday.interval = 3;
    sunday.startDate = day(1, 1, 7);
    sunday.startTime = at(8, 0);
    sunday.endTime = at(12, 0);
    tables.silence = {sunday};
    RegionalSettings r = regional();
    r.longTimeFormat = "h:nn:ss AMPM";
    const Model model = modelOf(tables, Monday, Monday + 7);
    const Parsed p = parse(renderSvg(model, r));
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));

    std::vector<const Element*> silence;
    for (const Element& e : p.elements)
        if (e.attributes.value("class") == QLatin1String("silence")) silence.push_back(&e);
    QCOMPARE(silence.size(), std::size_t(1));
    QVERIFY(std::abs(silence[0]->number("x") - x(model, Monday + 6 + at(8, 0))) < 0.11);
    const QStringList titles = p.titles();
    QVERIFY2(titles.contains("silence period (Weekly): 10.03.2024 8:00 AM - 10.03.2024 12:00 PM"),
             qPrintable(titles.join("\n")));
    // Seven conflicts, one a night, each joining the two lanes.
    int conflicts = 0;
    for (const Element& e : p.elements)
        if (e.name == "g" && e.attributes.value("class") == QLatin1String("conflict")) ++conflicts;
    QCOMPARE(conflicts, 7);
    QVERIFY(titles.contains("04.03.2024 10:00 PM <print> skipped: Printer (1) held by <backup>"));
    // Days carry their weekday where there is room; hours are in the short time format.
    bool weekday = false, hour = false;
    for (const Element& e : p.elements) {
        weekday = weekday || e.text == "Sunday, 10.03.2024";
        hour = hour || e.text == "12:00 PM";
    }
    QVERIFY(weekday);
    QVERIFY(hour);
}

// One, three and seven days on a narrow, an A4 and a wide chart, in a 24-hour and an AM/PM clock:
// the hour and the day labels, measured in the chart's font, stand apart; short periods name
// their days.
void TimelineSvgTest::axisLabelsNeverOverlap() {
    QFont font("Liberation Sans");
    font.setPixelSize(8);
    const QFontMetricsF hourFont(font);
    font.setPixelSize(9);
    font.setBold(true);
    const QFontMetricsF dayFont(font);
    Tables tables;
    tables.tasks.push_back(task("t", 1, 0, 0, 0, 0));
    for (const double width : {SvgLayout::MinWidth, SvgPage::Width, 2400.0})
        for (const char* clock : {"hh:nn:ss", "h:nn:ss AMPM"})
            for (int days : {1, 3, 7}) {
                RegionalSettings r = regional();
                r.longTimeFormat = clock;
                std::vector<std::pair<double, double>> labels[2]; // hours, days
                for (const Element& e :
                     parse(renderSvgSection(modelOf(tables, Monday, Monday + days), r, 0, {},
                                            SvgLayout::screen(width)))
                         .elements) {
                    const bool day = e.attributes.value("font-size") == QLatin1String("9");
                    if (e.name != "text" ||
                        (!day && e.attributes.value("fill") != QLatin1String("#333333")))
                        continue;
                    const double w = (day ? dayFont : hourFont).horizontalAdvance(e.text);
                    labels[day].push_back(
                        {e.number("x") - (day ? 0 : w / 2), e.number("x") + (day ? w : w / 2)});
                    QVERIFY2(!day || days == 7 || e.text.contains(", "), qPrintable(e.text));
                }
                // A narrow week has room for no hour's label and for every other day's.
                for (const bool day : {false, true}) {
                    auto& row = labels[day];
                    QVERIFY(row.size() >=
                            std::size_t(width < SvgPage::Width ? day * days / 2 : days));
                    std::sort(row.begin(), row.end());
                    for (std::size_t i = 1; i < row.size(); ++i)
                        QVERIFY2(
                            row[i - 1].second <= row[i].first,
                            qPrintable(
                                QString("%1 days, %2: %3").arg(days).arg(clock).arg(row[i].first)));
                }
            }
}

void TimelineSvgTest::numbersIgnoreTheLocalesDecimalComma() {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) QSKIP("de_DE.UTF-8 is not installed");
    Tables tables;
    tables.tasks = {task("t", 1, 2, at(7, 13), at(7, 13), 0)};
    const Model model = modelOf(tables, Monday, Monday + 1);
    const std::string svg = renderSvg(model, regional());
    std::setlocale(LC_ALL, "C.UTF-8");
    const Parsed p = parse(svg);
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
    const auto lines = p.inLane(0, "line");
    QCOMPARE(lines.size(), std::size_t(1));
    bool ok = false;
    const double x1 = lines[0]->attributes.value("x1").toDouble(&ok);
    QVERIFY2(ok, qPrintable(lines[0]->attributes.value("x1").toString()));
    QVERIFY(std::abs(x1 - x(model, Monday + at(7, 13))) < 0.11);
}

QTEST_MAIN(TimelineSvgTest) // the labels are measured in a font
#include "timeline_svg_test.moc"
