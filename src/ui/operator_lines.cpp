#include "ui/operator_lines.h"

#include "language/translation.h"
#include "platform/strings.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <cstdio>

namespace vektrin {

namespace {

void writeLine(QString line) {
    line.replace("\r\n", " ").replace('\n', ' ');
    std::fprintf(stderr, "%s: %s\n", QCoreApplication::applicationName().toLocal8Bit().constData(),
                 line.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

void writeMessageLine(std::string_view text) {
    writeLine(messageText(text));
}

void writeMessageLine(const OperatorText& text) {
    writeLine(operatorText(text));
}

void writeNoticeLine(std::string line) {
    line.insert(0, "vektrin: ");
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void writeTaskNoticeLine(const TaskNotice& notice) {
    writeNoticeLine(notice.task + ": " + notice.what);
}

QString protocolNoticeText(const ProtocolNotice& notice) {
    using Kind = ProtocolNotice::Kind;
    QString text = qs(notice.kind == Kind::Refusing   ? str::ProtocolRefusesLines
                      : notice.kind == Kind::Writable ? str::ProtocolTakesLinesAgain
                                                      : str::ProtocolLinesUnwritten);
    QStringList args;
    if (notice.kind == Kind::Unwritten) args << QString::number(notice.lines);
    args << plainText(notice.path);
    if (notice.kind != Kind::Writable) args << plainText(notice.reason);
    for (const QString& arg : args)
        text.replace(text.indexOf(QLatin1String("%s")), 2, arg);
    return text;
}

} // namespace vektrin
