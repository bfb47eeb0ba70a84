#pragma once
// The timeline window: the chart of the coming 24 hours or 7 days as the core draws it, with
// saving and printing. It only reads the tables, so scheduling goes on while it is open; a click
// on a task's lane asks the main window to select that task.

#include "engine/timeline.h"
#include "engine/timeline_svg.h"
#include "platform/regional.h"

#include <QRectF>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPrinter;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QLabel;
class QSvgRenderer;

namespace vektrin {

class TDataCtrl;

// The chart, one page below the other, laid out for the view's width with its text as large as
// the interface's. A page's document is made, read and painted only when the page comes into
// view, so the first paint of a long chart costs one page, and so does a new width.
class TimelineView : public QWidget {
    Q_OBJECT
  public:
    explicit TimelineView(QWidget* parent = nullptr);
    ~TimelineView() override;
    using PageMaker = std::function<std::string(int section, const timeline::SvgLayout&)>;
    // The pages of a model; page(s, layout) makes the document of section s.
    void setPages(const timeline::Model* model, PageMaker page);
    // Lays the chart out for a size in pixels (wider when that is too narrow; a few lanes taller
    // to fill the height) and takes the size it needs.
    void fitTo(const QSize& size);
    // Pixels to a unit of the documents, and their layout.
    double scale() const { return scale_; }
    const timeline::SvgLayout& layout() const { return layout_; }
    int pageCount() const { return static_cast<int>(renderers_.size()); }
    // The renderer of a page, reading its document when first asked for.
    QSvgRenderer* pageRenderer(int section);
    // The lane under a point of the widget, or -1.
    int laneAt(const QPoint& pos) const;
    // What the chart says of the mark under a point of the widget (a launch, a lane's window, a
    // silence stretch, a conflict), as the saved document's tool tips do; empty where nothing.
    QString tipAt(const QPoint& pos);
    // The lane the arrows move (framed while the chart has the focus), -1 for none.
    int focusedLane() const { return focusedLane_; }
    void setFocusedLane(int lane);
    // A lane's row in the widget's pixels.
    QRect laneRect(int lane) const;

  signals:
    void laneClicked(int lane);
    // Enter on the focused lane.
    void laneChosen(int lane);
    void focusedLaneChanged(int lane);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // A titled mark of a page, in the page's units.
    struct Tip {
        QRectF area;
        QString text;
    };
    double pageTop(int section) const { return section * layout_.pitch() * scale_; }
    void clearPages();
    const std::vector<Tip>& pageTips(int section);

    const timeline::Model* model_ = nullptr;
    PageMaker page_;
    timeline::SvgLayout layout_ = timeline::SvgLayout::screen(0);
    double scale_ = 1;
    std::vector<std::unique_ptr<QSvgRenderer>> renderers_;
    std::vector<std::optional<std::vector<Tip>>> tips_;
    int focusedLane_ = -1;
};

class TTimelineForm : public QWidget {
    Q_OBJECT
  public:
    TTimelineForm(TDataCtrl& data, const RegionalSettings& regional, std::function<DateTime()> now,
                  QWidget* parent = nullptr);

    // The gaps between the scheduler's passes, and how many days back it makes them up: a launch
    // made up for a catch-up task is marked. Without it none is.
    struct Gaps {
        std::vector<PassGap> gaps;
        int catchUpDays = 0;
    };
    void setGapSource(std::function<Gaps(DateTime now)> source) { gaps_ = std::move(source); }

    // Reads the tables and draws the period from now (from a launch made up in the last hours).
    // False (and the old chart kept) while the task table is being edited.
    bool refresh();
    void setPeriodHours(int hours);
    int periodHours() const { return hours_; }

    const timeline::Model& model() const { return model_; }
    // The whole document, as saved.
    std::string svg() const;

    // The whole document into the file; the error text when it cannot be written.
    bool saveSvg(const QString& path, QString* error = nullptr);
    // One page per section of the chart.
    void printTo(QPrinter& printer);

    void SaveClick();
    void PrintClick();

    TimelineView* View = nullptr;
    QRadioButton* Hours24 = nullptr;
    QRadioButton* Days7 = nullptr;
    QPushButton* RefreshBtn = nullptr;
    QPushButton* SaveBtn = nullptr;
    QPushButton* PrintBtn = nullptr;
    QPushButton* CloseBtn = nullptr;
    QLabel* Hint = nullptr;
    // The focused lane's launches and conflicts, in words.
    QLabel* LaneText = nullptr;
    // Those words for a lane of the model.
    QString laneDescription(int lane) const;

  signals:
    // A lane was clicked: the task's record (bookmark) and AppID.
    void taskChosen(qint64 record, qint64 appId);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void fitView();

    TDataCtrl& data_;
    const RegionalSettings& regional_;
    std::function<DateTime()> now_;
    std::function<Gaps(DateTime)> gaps_;
    int hours_ = 24;
    timeline::Model model_;
    QScrollArea* scroll_ = nullptr;
};

} // namespace vektrin
