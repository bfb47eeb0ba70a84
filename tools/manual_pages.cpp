// Builds the HTML manual from the Markdown documents, with Qt's own Markdown reader, at build
// time: manual_pages OUTDIR INDEX.md PAGE.md... The first document becomes index.html, each
// other NAME.md NAME.html; links between the documents follow them.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTextDocument>
#include <cstdio>

namespace {

QString pageName(const QString& markdown, bool index) {
    return index ? QStringLiteral("index.html") : QFileInfo(markdown).completeBaseName() + ".html";
}

} // namespace

int main(int argc, char** argv) {
    // Fonts and layout need a GUI application; nothing is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: manual_pages OUTDIR INDEX.md [PAGE.md...]\n");
        return 64;
    }
    const QDir out(args[1]);
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "manual_pages: cannot make %s\n", qPrintable(args[1]));
        return 1;
    }
    // A link to another document ("docs/desktop.md#the-tray", "conditions.md") goes to its page.
    QStringList documents;
    for (qsizetype i = 2; i < args.size(); ++i)
        documents << QFileInfo(args[i]).fileName();
    const QRegularExpression link(
        QStringLiteral("href=\"(?:[^\"#]*/)?([^\"/#]+\\.md)(#[^\"]*)?\""));
    for (qsizetype i = 2; i < args.size(); ++i) {
        QFile in(args[i]);
        if (!in.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "manual_pages: cannot read %s\n", qPrintable(args[i]));
            return 1;
        }
        QTextDocument document;
        document.setMarkdown(QString::fromUtf8(in.readAll()));
        QString html = document.toHtml();
        QString linked;
        qsizetype from = 0;
        for (auto match = link.globalMatch(html); match.hasNext();) {
            const auto m = match.next();
            const qsizetype at = documents.indexOf(m.captured(1));
            if (at < 0) continue;
            linked += html.mid(from, m.capturedStart() - from) + QStringLiteral("href=\"") +
                      pageName(m.captured(1), at == 0) + m.captured(2) + '"';
            from = m.capturedEnd();
        }
        html = linked + html.mid(from);
        QFile page(out.filePath(pageName(args[i], i == 2)));
        if (!page.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            page.write(html.toUtf8()) < 0 || !page.flush()) {
            std::fprintf(stderr, "manual_pages: cannot write %s\n", qPrintable(page.fileName()));
            return 1;
        }
    }
    return 0;
}
