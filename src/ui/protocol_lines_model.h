#pragma once
// The protocol file as a list of rows: the file's bytes are held once, with the offset of every
// line, and a row's text is made only when the view paints it. A million lines cost one read and
// one scan.

#include "engine/protocol_file.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <string>
#include <vector>

namespace vektrin {

class ProtocolLinesModel : public QAbstractListModel {
    Q_OBJECT
  public:
    using QAbstractListModel::QAbstractListModel;

    // Reads the whole file; returns the newest date a line begins with (0 when none). Throws
    // std::runtime_error when the file cannot be read; the model is then empty.
    DateTime load(const std::string& path, const ProtocolLineDates& dateOf);
    // Back to one empty row.
    void clear();

    int lineCount() const { return static_cast<int>(starts_.empty() ? 0 : starts_.size() - 1); }
    QString line(int row) const;
    // Rows of the lines with the most characters (at most LongestKept, in no order): the widest
    // line on screen is almost always one of them, and measuring these few sizes the view.
    static constexpr size_t LongestKept = 32;
    const std::vector<int>& longestLines() const { return longest_; }

    // Every line has a row, and one empty row follows the last. A row's tool tip is its whole
    // line.
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    QByteArray text_;
    // Start of each line, and the end of the text after the last.
    std::vector<qsizetype> starts_;
    std::vector<int> longest_;
};

} // namespace vektrin
