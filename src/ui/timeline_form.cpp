#include "ui/timeline_form.h"

#include "engine/timeline_svg.h"
#include "platform/strings.h"
#include "store/data_ctrl.h"
#include "ui/busy_cursor.h"
#include "ui/form_widgets.h"
#include "ui/keyboard.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygonF>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QXmlStreamReader>

namespace vektrin {
namespace {

using Page = timeline::SvgPage;

// The weekdays of a date in the chart, where Russian writes them in lower case.
[[maybe_unused]] constexpr OwnWording ChartWording[] = {
    QT_TRANSLATE_NOOP3("Vektrin", "Monday", "timeline"),
    QT_TRANSLATE_NOOP3("Vektrin", "Tuesday", "timeline"),
    QT_TRANSLATE_NOOP3("Vektrin", "Wednesday", "timeline"),
    QT_TRANSLATE_NOOP3("Vektrin", "Thursday", "timeline"),
    QT_TRANSLATE_NOOP3("Vektrin", "Friday", "timeline"),
    QT_TRANSLATE_NOOP3("Vektrin", "Saturday", "timeline"),
    QT_TRANSLATE_NOOP3("Vektrin", "Sunday", "timeline")}; // for lupdate

// The chart's words in the interface's language (the command line keeps them English).
timeline::ChartWords chartWords() {
    return [](std::string_view text) { return qs(text, "timeline").toStdString(); };
}

} // namespace

TimelineView::TimelineView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
}
TimelineView::~TimelineView() = default;

void TimelineView::setPages(const timeline::Model* model, PageMaker page) {
    model_ = model;
    page_ = std::move(page);
    clearPages();
}

QRect TimelineView::laneRect(int lane) const {
    if (lane < 0 || layout_.lanesPerSection <= 0) return {};
    const int section = lane / layout_.lanesPerSection;
    const double top = section * layout_.pitch() + Page::LaneTop +
                       (lane % layout_.lanesPerSection) * layout_.laneHeight;
    return QRectF(0, top * scale_, layout_.width * scale_, layout_.laneHeight * scale_)
        .toAlignedRect();
}

void TimelineView::setFocusedLane(int lane) {
    const int lanes = model_ ? static_cast<int>(model_->lanes.size()) : 0;
    lane = lanes == 0 || lane < 0 ? -1 : std::min(lane, lanes - 1);
    if (lane == focusedLane_) return;
    update(laneRect(focusedLane_));
    focusedLane_ = lane;
    update(laneRect(lane));
    emit focusedLaneChanged(lane);
}

void TimelineView::keyPressEvent(QKeyEvent* event) {
    const int lanes = model_ ? static_cast<int>(model_->lanes.size()) : 0;
    const int step = event->key() == Qt::Key_Up         ? -1
                     : event->key() == Qt::Key_Down     ? 1
                     : event->key() == Qt::Key_PageUp   ? -std::max(1, layout_.lanesPerSection)
                     : event->key() == Qt::Key_PageDown ? std::max(1, layout_.lanesPerSection)
                                                        : 0;
    if (step != 0 && lanes > 0 && event->modifiers() == Qt::NoModifier) {
        setFocusedLane(focusedLane_ < 0 ? 0 : std::max(0, focusedLane_ + step));
    } else if (event->key() == Qt::Key_Home && lanes > 0) {
        setFocusedLane(0);
    } else if (event->key() == Qt::Key_End && lanes > 0) {
        setFocusedLane(lanes - 1);
    } else if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
               focusedLane_ >= 0) {
        emit laneChosen(focusedLane_);
    } else {
        return QWidget::keyPressEvent(event);
    }
    event->accept();
}

void TimelineView::clearPages() {
    renderers_.clear();
    renderers_.resize(
        static_cast<std::size_t>(model_ ? timeline::sectionCount(*model_, layout_) : 0));
    tips_.clear();
    tips_.resize(renderers_.size());
    update();
}

void TimelineView::fitTo(const QSize& size) {
    // The lane names and hour labels as large as the interface's text.
    scale_ = std::max(1.0, QFontInfo(font()).pixelSize() / Page::FontSize);
    const timeline::SvgLayout layout =
        timeline::SvgLayout::screen(size.width() / scale_, size.height() / scale_,
                                    model_ ? static_cast<int>(model_->lanes.size()) : 0);
    if (!(layout == layout_)) {
        layout_ = layout;
        clearPages();
    }
    const double height = model_ ? timeline::chartHeight(*model_, layout_) : 0;
    resize(static_cast<int>(std::lround(layout_.width * scale_)),
           static_cast<int>(std::lround(height * scale_)));
}

QSvgRenderer* TimelineView::pageRenderer(int section) {
    if (section < 0 || section >= pageCount()) return nullptr;
    auto& renderer = renderers_[static_cast<std::size_t>(section)];
    if (!renderer)
        renderer =
            std::make_unique<QSvgRenderer>(QByteArray::fromStdString(page_(section, layout_)));
    return renderer.get();
}

void TimelineView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    const double pitch = layout_.pitch() * scale_;
    if (pitch <= 0 || !model_) return;
    const int first = static_cast<int>(event->rect().top() / pitch);
    const int last = static_cast<int>(event->rect().bottom() / pitch);
    for (int s = std::max(first, 0); s <= std::min(last, pageCount() - 1); ++s) {
        const double h = layout_.sectionHeight(timeline::lanesIn(*model_, s, layout_)) * scale_;
        if (QSvgRenderer* r = pageRenderer(s))
            r->render(&painter, QRectF(0, pageTop(s), layout_.width * scale_, h));
    }
    if (hasFocus() && focusedLane_ >= 0) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(laneRect(focusedLane_).adjusted(1, 1, -1, -1));
    }
}

// The titled elements of the page's document and the area each covers: a line or a rectangle its
// own, a group (a lane, a conflict) what its lines and rectangles cover.
const std::vector<TimelineView::Tip>& TimelineView::pageTips(int section) {
    auto& tips = tips_[static_cast<std::size_t>(section)];
    if (tips) return *tips;
    tips.emplace();
    struct Open {
        QRectF area;
        QString title;
        double dy = 0;
        bool lane = false; // a lane's name is said along the whole of its row
    };
    std::vector<Open> open;
    QXmlStreamReader xml(QByteArray::fromStdString(page_(section, layout_)));
    const auto number = [&](const char* name) { return xml.attributes().value(name).toDouble(); };
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto name = xml.name();
            if (name == QLatin1String("title") && !open.empty()) {
                open.back().title = xml.readElementText();
                continue;
            }
            Open o;
            o.dy = open.empty() ? 0 : open.back().dy;
            o.lane = xml.attributes().value("class") == QLatin1String("lane");
            const QString transform = xml.attributes().value("transform").toString();
            if (transform.startsWith(QLatin1String("translate(0 ")))
                o.dy += transform.mid(12).chopped(1).toDouble();
            if (name == QLatin1String("line"))
                o.area = QRectF(QPointF(number("x1"), number("y1") + o.dy),
                                QPointF(number("x2"), number("y2") + o.dy))
                             .normalized();
            else if (name == QLatin1String("rect"))
                o.area = QRectF(number("x"), number("y") + o.dy, number("width"), number("height"));
            else if (name == QLatin1String("polygon")) {
                QPolygonF points;
                for (const QString& p : xml.attributes().value("points").toString().split(' '))
                    points << QPointF(p.section(',', 0, 0).toDouble(),
                                      p.section(',', 1, 1).toDouble() + o.dy);
                o.area = points.boundingRect();
            }
            open.push_back(o);
        } else if (xml.isEndElement() && !open.empty()) {
            const Open o = open.back();
            open.pop_back();
            const QRectF area =
                o.lane ? QRectF(0, o.area.top(), layout_.width, o.area.height()) : o.area;
            if (!o.title.isEmpty() && !o.area.isNull() && !open.empty())
                tips->push_back({area, o.title});
            if (!open.empty() && !o.area.isNull())
                open.back().area = open.back().area.isNull() ? o.area : open.back().area | o.area;
        }
    }
    return *tips;
}

QString TimelineView::tipAt(const QPoint& pos) {
    const double pitch = layout_.pitch() * scale_;
    if (pitch <= 0) return {};
    const int section = static_cast<int>(pos.y() / pitch);
    if (section < 0 || section >= pageCount()) return {};
    const QPointF at(pos.x() / scale_, (pos.y() - pageTop(section)) / scale_);
    // The smallest mark within a few units: a launch over its lane, a lane over the silence.
    const Tip* best = nullptr;
    for (const Tip& tip : pageTips(section))
        if (tip.area.adjusted(-2, -1, 2, 1).contains(at) &&
            (!best ||
             tip.area.width() * tip.area.height() < best->area.width() * best->area.height()))
            best = &tip;
    return best ? best->text : QString();
}

bool TimelineView::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = tipAt(help->pos());
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, this);
    return true;
}

int TimelineView::laneAt(const QPoint& pos) const {
    if (!model_) return -1;
    return timeline::laneAt(*model_, pos.x() / scale_, pos.y() / scale_, layout_);
}

void TimelineView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const int lane = laneAt(event->position().toPoint());
        if (lane >= 0) {
            setFocusedLane(lane);
            emit laneClicked(lane);
        }
    }
    QWidget::mousePressEvent(event);
}

TTimelineForm::TTimelineForm(TDataCtrl& data, const RegionalSettings& regional,
                             std::function<DateTime()> now, QWidget* parent)
    : QWidget(parent, Qt::Window), data_(data), regional_(regional), now_(std::move(now)) {
    setObjectName("TimelineForm");
    setWindowTitle(qs(str::TimelineCaption));
    resize(1000, 640);

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    Hours24 = named(new QRadioButton(qs(str::TimelinePeriod24Hours), this), "Hours24");
    Days7 = named(new QRadioButton(qs(str::TimelinePeriod7Days), this), "Days7");
    Hours24->setChecked(true);
    auto* group = new QButtonGroup(this);
    group->addButton(Hours24);
    group->addButton(Days7);
    RefreshBtn = plainButton(str::TimelineRefresh, "RefreshBtn", this);
    SaveBtn = plainButton(str::TimelineSaveSvg, "SaveBtn", this);
    PrintBtn = plainButton(str::TimelinePrint, "PrintBtn", this);
    CloseBtn = plainButton(str::TimelineClose, "CloseBtn", this);
    giveMnemonics({Hours24, Days7, RefreshBtn, SaveBtn, PrintBtn, CloseBtn});
    bar->addWidget(Hours24);
    bar->addWidget(Days7);
    bar->addSpacing(12);
    bar->addWidget(RefreshBtn);
    bar->addStretch(1);
    bar->addWidget(SaveBtn);
    bar->addWidget(PrintBtn);
    bar->addWidget(CloseBtn);
    layout->addLayout(bar);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName("ScrollBox");
    scroll_->setWidgetResizable(false);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll_->setBackgroundRole(QPalette::Base);
    View = named(new TimelineView, "View");
    View->setCursor(Qt::PointingHandCursor);
    scroll_->setWidget(View);
    layout->addWidget(scroll_, 1);
    Hint = named(new QLabel(qs(str::TimelineLaneHint), this), "Hint");
    layout->addWidget(Hint);
    LaneText = named(new QLabel(this), "LaneText");
    LaneText->setWordWrap(true);
    LaneText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(LaneText);

    const auto period = [this](int hours) {
        hours_ = hours;
        refresh();
    };
    connect(Hours24, &QRadioButton::toggled, this, [period](bool on) {
        if (on) period(24);
    });
    connect(Days7, &QRadioButton::toggled, this, [period](bool on) {
        if (on) period(24 * 7);
    });
    connect(RefreshBtn, &QPushButton::clicked, this, [this] { refresh(); });
    connect(SaveBtn, &QPushButton::clicked, this, &TTimelineForm::SaveClick);
    connect(PrintBtn, &QPushButton::clicked, this, &TTimelineForm::PrintClick);
    connect(CloseBtn, &QPushButton::clicked, this, &QWidget::close);
    const auto choose = [this](int lane) {
        if (lane < 0 || static_cast<std::size_t>(lane) >= model_.lanes.size()) return;
        const timeline::Task& task =
            model_.tables.tasks[static_cast<std::size_t>(model_.lanes[lane].task)];
        emit taskChosen(task.record, task.appId);
    };
    connect(View, &TimelineView::laneClicked, this, choose);
    connect(View, &TimelineView::laneChosen, this, choose);
    connect(View, &TimelineView::focusedLaneChanged, this, [this](int lane) {
        LaneText->setText(laneDescription(lane));
        if (lane >= 0)
            scroll_->ensureVisible(0, View->laneRect(lane).center().y(), 0,
                                   View->laneRect(lane).height());
    });
}

void TTimelineForm::keyPressEvent(QKeyEvent* event) {
    // Esc closes it, as it closes the viewers.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TTimelineForm::setPeriodHours(int hours) {
    QRadioButton* button = hours == 24 ? Hours24 : Days7;
    if (!button->isChecked()) {
        button->setChecked(true); // its toggled signal reads and draws
        return;
    }
    hours_ = hours;
    refresh();
}

bool TTimelineForm::refresh() {
    // Walking a table would post a record that an editor is changing.
    const auto editing = [](const Table& t) { return t.state() != Table::State::Browse; };
    if (editing(data_.Table1) || editing(data_.Table2) || editing(data_.Table3)) {
        Hint->setText(qs(str::TimelineTableBusy));
        return false;
    }
    BusyCursor busy;
    timeline::Tables tables = timeline::readTables(data_);
    const DateTime now = now_();
    const std::vector<int> shown = timeline::defaultSelection(tables);
    std::vector<timeline::MadeUp> madeUp;
    if (gaps_) {
        const Gaps gaps = gaps_(now);
        madeUp = timeline::madeUpLaunches(tables, shown, gaps.gaps, gaps.catchUpDays, now);
    }
    const timeline::PeriodOrProblem period =
        timeline::makePeriod(timeline::chartBegin(madeUp, now), now + hours_ / 24.0);
    if (!period.period) return false;
    model_ = timeline::buildModel(std::move(tables), *period.period, shown, madeUp);
    View->setPages(&model_, [this](int section, const timeline::SvgLayout& layout) {
        return timeline::renderSvgSection(model_, regional_, section, chartWords(), layout);
    });
    Hint->setText(qs(str::TimelineLaneHint));
    fitView();
    // The chart read anew keeps the focused lane where there still is one.
    View->setFocusedLane(std::max(0, View->focusedLane()));
    LaneText->setText(laneDescription(View->focusedLane()));
    return true;
}

QString TTimelineForm::laneDescription(int lane) const {
    if (lane < 0 || static_cast<std::size_t>(lane) >= model_.lanes.size()) return {};
    const timeline::Lane& l = model_.lanes[static_cast<std::size_t>(lane)];
    const QString name = plainText(model_.tables.tasks[static_cast<std::size_t>(l.task)].name);
    RegionalSettings minutes = regional_;
    minutes.longTimeFormat = timeline::shortTimeFormat(regional_.longTimeFormat);
    const auto moment = [&minutes](timeline::Minute m) {
        const DateTime at = static_cast<double>(m) / 1440.0;
        return plainText(minutes.formatDate(at) + ' ' + minutes.formatTime(at));
    };
    QString text = l.launches.empty()
                       ? operatorText({str::TimelineLaneNoLaunch, {name.toStdString()}})
                       : operatorText({str::TimelineLaneLaunches,
                                       {name.toStdString(), std::to_string(l.launches.size()),
                                        moment(l.launches.front()).toStdString()}});
    const auto words = chartWords();
    for (const timeline::Conflict& c : model_.conflicts) {
        if (c.minutes.empty() ||
            (model_.laneOf(c.holder) != lane && model_.laneOf(c.other) != lane))
            continue;
        text += QLatin1Char('\n') + operatorText({str::TimelineLaneConflict,
                                                  {moment(c.minutes.front()).toStdString(),
                                                   std::to_string(c.minutes.size()),
                                                   timeline::conflictText(model_, c, words)}});
    }
    return text;
}

void TTimelineForm::fitView() {
    // As wide as the window, as high as the pages need.
    View->fitTo(scroll_->viewport()->size());
}

void TTimelineForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitView();
}

void TTimelineForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    fitView();
}

std::string TTimelineForm::svg() const {
    return timeline::renderSvg(model_, regional_, chartWords());
}

bool TTimelineForm::saveSvg(const QString& path, QString* error) {
    const std::string text = svg();
    // The old file stays whole until the new one is complete.
    QSaveFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    file.write(text.data(), static_cast<qint64>(text.size())) ==
                        static_cast<qint64>(text.size()) &&
                    file.commit();
    if (!ok && error) {
        QString text = qs(str::TimelineCannotSave);
        text.replace(text.indexOf("%s"), 2, path);
        text.replace(text.indexOf("%s"), 2, file.errorString());
        *error = text;
    }
    return ok;
}

void TTimelineForm::printTo(QPrinter& printer) {
    // Laid out for the paper chosen: its width for the time axis, as many lanes a page as fit.
    const QRectF paper = printer.pageLayout().paintRect(QPageLayout::Inch);
    const timeline::SvgLayout layout =
        timeline::SvgLayout::page(paper.width() * 96, paper.height() * 96);
    QPainter painter(&printer);
    const QRectF area = painter.viewport();
    const double scale = std::min(area.width() / layout.width, area.height() / layout.height);
    const QRectF target(area.left(), area.top(), layout.width * scale, layout.height * scale);
    for (int s = 0; s < timeline::sectionCount(model_, layout); ++s) {
        if (s > 0) printer.newPage();
        QSvgRenderer page(QByteArray::fromStdString(
            timeline::renderSvgSection(model_, regional_, s, chartWords(), layout)));
        page.render(&painter, target);
    }
}

void TTimelineForm::SaveClick() {
    const QString path = QFileDialog::getSaveFileName(
        this, qs(str::TimelineSaveSvg), QStringLiteral("timeline.svg"), qs(str::TimelineSvgFiles));
    if (path.isEmpty()) return;
    QString error;
    if (!saveSvg(path, &error))
        QMessageBox::critical(this, QCoreApplication::applicationName(), error);
}

void TTimelineForm::PrintClick() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setPageSize(QPageSize(QPageSize::A4));
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    printTo(printer);
}

} // namespace vektrin
