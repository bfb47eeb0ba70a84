#pragma once
// The list of a file's lines in the protocol and output viewers: one height for every row (so the
// view places a million rows without asking each one), and every row as wide as the widest line,
// so the view scrolls sideways to every line's end.

#include "ui/protocol_lines_model.h"

#include <QListView>

namespace vektrin {

class LineList : public QListView {
  public:
    LineList(ProtocolLinesModel& model, QWidget* parent);

    // Measures the rows anew after the model was loaded or cleared.
    void fitRowsToLines();

  private:
    ProtocolLinesModel& model_;
    class LineDelegate* delegate_;
};

} // namespace vektrin
