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
    DateTime load(const std::string& path, const ProtocolDateReader& dateOf);
    // Back to one empty row.
    void clear();

    int lineCount() const { return static_cast<int>(starts_.empty() ? 0 : starts_.size() - 1); }
    QString line(int row) const;

    // Every line has a row, and one empty row follows the last.
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    QByteArray text_;
    // Start of each line, and the end of the text after the last.
    std::vector<qsizetype> starts_;
};

} // namespace vektrin
