#pragma once
// The timeline window: the chart of the coming 24 hours or 7 days as the core draws it, with
// saving and printing. It only reads the tables, so scheduling goes on while it is open; a click
// on a task's lane asks the main window to select that task.

#include "engine/timeline.h"
#include "platform/regional.h"

#include <QSvgWidget>
#include <QWidget>
#include <functional>
#include <string>

class QPrinter;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QLabel;

namespace vektrin {

class TDataCtrl;

// The chart; a click on a lane reports the lane.
class TimelineView : public QSvgWidget {
    Q_OBJECT
  public:
    using QSvgWidget::QSvgWidget;
    void setModel(const timeline::Model* model) { model_ = model; }
    // The lane under a point of the widget, or -1.
    int laneAt(const QPoint& pos) const;

  signals:
    void laneClicked(int lane);

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    const timeline::Model* model_ = nullptr;
};

class TTimelineForm : public QWidget {
    Q_OBJECT
  public:
    TTimelineForm(TDataCtrl& data, const RegionalSettings& regional, std::function<DateTime()> now,
                  QWidget* parent = nullptr);

    // Reads the tables and draws the period from now. False (and the old chart kept) while the
    // task table is being edited.
    bool refresh();
    void setPeriodHours(int hours);
    int periodHours() const { return hours_; }

    const timeline::Model& model() const { return model_; }
    const std::string& svg() const { return svg_; }

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

  signals:
    // A lane was clicked: the task's record (bookmark) and AppID.
    void taskChosen(qint64 record, qint64 appId);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void fitView();

    TDataCtrl& data_;
    const RegionalSettings& regional_;
    std::function<DateTime()> now_;
    int hours_ = 24;
    timeline::Model model_;
    std::string svg_;
    QScrollArea* scroll_ = nullptr;
};

} // namespace vektrin
