#pragma once
// The printed list of silence periods: one line of three columns per period.

#include "reports/report_form.h"

namespace vektrin {

class TDataCtrl;

class TExceptReportForm : public ReportForm {
  public:
    explicit TExceptReportForm(Scheduler& scheduler);

    // The three columns, for the current silence-period record.
    QString KindText() const;
    QString QualifierText() const;
    QString PeriodText() const;

  private:
    TDataCtrl& dm_;
};

} // namespace vektrin
