#include "ui/protocol_lines_model.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {
namespace {

QByteArray readWhole(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    struct stat st {};
    ::fstat(fd, &st);
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(st.st_size) + 1);
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            ::close(fd);
            throw std::runtime_error("Cannot read " + path + ": " + std::strerror(e));
        }
        if (n == 0) break;
        bytes.append(buffer, n);
    }
    ::close(fd);
    return bytes;
}

// Characters of UTF-8 text: every byte that does not continue a sequence starts one.
qsizetype characters(const char* text, qsizetype bytes) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < bytes; ++i)
        n += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    return n;
}

} // namespace

DateTime ProtocolLinesModel::load(const std::string& path, const ProtocolLineDates& dateOf) {
    beginResetModel();
    text_.clear();
    starts_.clear();
    longest_.clear();
    DateTime newest = 0;
    // A min-heap of (characters, row) of the longest lines so far. A line has at most as many
    // characters as bytes, so one no longer in bytes than the heap's shortest is not counted.
    std::vector<std::pair<qsizetype, int>> heap;
    const auto shorter = [](const auto& a, const auto& b) { return a.first > b.first; };
    try {
        text_ = readWhole(path);
        const char* base = text_.constData();
        const qsizetype size = text_.size();
        starts_.reserve(static_cast<size_t>(size / 48 + 2));
        qsizetype pos = 0;
        while (pos < size) {
            const void* nl = std::memchr(base + pos, '\n', static_cast<size_t>(size - pos));
            const qsizetype end = nl ? static_cast<const char*>(nl) - base + 1 : size;
            const int row = static_cast<int>(starts_.size());
            starts_.push_back(pos);
            const DateTime date =
                dateOf.read(std::string_view(base + pos, static_cast<size_t>(end - pos)))
                    .value_or(0);
            if (date > newest) newest = date;
            if (heap.size() < LongestKept || end - pos > heap.front().first) {
                const qsizetype n = characters(base + pos, end - pos);
                if (heap.size() < LongestKept || n > heap.front().first) {
                    if (heap.size() == LongestKept) {
                        std::pop_heap(heap.begin(), heap.end(), shorter);
                        heap.pop_back();
                    }
                    heap.emplace_back(n, row);
                    std::push_heap(heap.begin(), heap.end(), shorter);
                }
            }
            pos = end;
        }
        if (!starts_.empty()) starts_.push_back(size);
    } catch (...) {
        text_.clear();
        starts_.clear();
        endResetModel();
        throw;
    }
    for (const auto& [n, row] : heap)
        longest_.push_back(row);
    endResetModel();
    return newest;
}

void ProtocolLinesModel::clear() {
    beginResetModel();
    text_ = QByteArray();
    starts_ = {};
    longest_ = {};
    endResetModel();
}

QString ProtocolLinesModel::line(int row) const {
    if (row < 0 || row >= lineCount()) return {};
    const qsizetype from = starts_[static_cast<size_t>(row)];
    qsizetype to = starts_[static_cast<size_t>(row) + 1];
    const char* base = text_.constData();
    if (to > from && base[to - 1] == '\n') --to;
    if (to > from && base[to - 1] == '\r') --to;
    return QString::fromUtf8(base + from, to - from);
}

int ProtocolLinesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : lineCount() + 1;
}

QVariant ProtocolLinesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return line(index.row());
    if (role != Qt::ToolTipRole || index.row() >= lineCount()) return {};
    // As rich text with every character escaped: a line such as "Executes <b>." is shown as it
    // reads, blanks are kept, and a very long line wraps instead of running off the screen.
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") +
           line(index.row()).toHtmlEscaped() + QStringLiteral("</p>");
}

} // namespace vektrin
