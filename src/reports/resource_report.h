#pragma once
// The printed list of conflicting resources: number, name and longest waiting time.

#include "reports/report_form.h"

namespace vektrin {

class TResourceReportForm : public ReportForm {
  public:
    explicit TResourceReportForm(Scheduler& scheduler);
};

} // namespace vektrin
