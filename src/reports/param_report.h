#pragma once
// The printed list of tasks: one block per task with its schedule described in words.

#include "reports/report_form.h"

namespace vektrin {

class TDataCtrl;

class TParamReportForm : public ReportForm {
  public:
    explicit TParamReportForm(Scheduler& scheduler);

    // The computed fields, for the current task record.
    QString IntervalText() const;
    QString RunTypeText() const;
    QString LastExecutionText() const;
    QString StatusText() const;
    QString ResourcesText() const;
    QString RunOnText() const;

  private:
    // The lines of a task, with the Host's line or without it.
    void buildDetail(Band& band, bool withHost);

    TDataCtrl& dm_;
    Band withHost_; // only a task given a workstation has the line: the others print as before
};

} // namespace vektrin
