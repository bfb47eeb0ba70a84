#pragma once
// What the three table editors share: the wrapper every handler of theirs runs in, the strip with
// the record navigator, "Report" and "Exit", the before-post handler that stores what the edits
// show, and what "Report" and "Exit" do.

#include "ui/db_controls.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>

class QHBoxLayout;
class QPushButton;

namespace vektrin {

class MessagePort;
class ReportForm;
class Scheduler;
class TDataCtrl;

// The general error report of the interface, as the editors' handlers reach it.
void reportHandlerError(Scheduler& scheduler, const std::exception& error);

// Runs one event handler of an editor: an error it does not catch goes to the general error
// report and ends it; an abort, whose message has been shown already, ends it quietly. False
// when the handler did not finish.
template <class Handler> bool guarded(Scheduler& scheduler, Handler&& handler) {
    return runHandler([&scheduler](const std::exception& e) { reportHandlerError(scheduler, e); },
                      std::forward<Handler>(handler));
}

class EditorForm : public QDialog {
    Q_OBJECT
  public:
    ~EditorForm() override;

    // Gives the table back the before-post handler it had before the window hung its own on it.
    void FormClose();

    // Shows a report's preview and returns once it is closed.
    std::function<void(ReportForm&)> showReport;

    // Asked when the window is closed by other means than "Exit" over a record with unposted
    // changes: Yes stores them, No drops them, Cancel keeps the window open. Where nobody can
    // see the question it is answered No, the changes are dropped.
    enum class SaveAnswer { Yes, No, Cancel };
    std::function<SaveAnswer()> askSave;

  protected:
    // Names the window, captions it and makes its binding to table, the navigator on it and the
    // two strip buttons, in that order.
    EditorForm(Scheduler& scheduler, MessagePort& messages, Table& table, const char* name,
               std::string_view caption, QWidget* parent);

    void done(int result) override;
    void closeEvent(QCloseEvent* event) override;
    // The navigator's keys (NavigatorKeys), wherever the window's focus is.
    bool eventFilter(QObject* watched, QEvent* event) override;

    template <class Handler> bool guarded(Handler&& handler) {
        return vektrin::guarded(scheduler_, std::forward<Handler>(handler));
    }

    // The strip over the editor's fields: the navigator, then "Report" and "Exit".
    QHBoxLayout* buttonStrip();
    // The window shows its record again (activate) when it gets the activation back from one
    // of its own message boxes or the delete question.
    void reshowAfterBoxes(std::function<void()> activate);
    // Hangs handler on the table's before-post, by default one that stores what the edits show,
    // so that whatever posts the record posts what the window shows. The handler found there the
    // first time is what FormClose gives back.
    void installBeforePost(std::function<void(Table&)> handler = {});
    // "Exit": settleRecord runs first, the edits' texts go into the record, a record with
    // unposted changes is posted, and the window closes; a refused post keeps it open.
    void postAndClose();
    // What "Exit", "Report" and a "Yes" to the save question do before they post (the task
    // editor settles its "Stopped" box there).
    std::function<void()> settleRecord;
    // "Report": the record is stored first (the report walks the table, as moving to another
    // record does), the hourglass shows while create builds the report, then its preview.
    void showTableReport(const std::function<std::unique_ptr<ReportForm>()>& create);

    Scheduler& scheduler_;
    MessagePort& messages_;
    TDataCtrl& dm_;
    Table& table_;
    DataBinding* binding_;
    DBNavigator* navigator_;
    QPushButton* ReportButton;
    QPushButton* ButtonExit;

  private:
    // Posts what the window shows; false when a value or the post was refused (said already).
    bool storeRecord();
    // Closing the window stores nothing by itself: the changes "Exit" or a "Yes" did not post
    // are dropped here.
    void dropUnstored();

    std::function<void(Table&)> previousBeforePost_;
    bool beforePostInstalled_ = false;
};

} // namespace vektrin
