// The interface with the Russian translation loaded, as the program loads it: every window, menu,
// report and message is walked, and a visible text still in English, or one cut off in its
// widget at the window's default size, is a failure. Also: every text of the string table has
// its translation, with the English text's placeholders, blanks and closing punctuation. The
// editors and reports are walked in English too, where a Cyrillic letter is the failure; in
// either language so is a word of Latin and Cyrillic letters mixed.

#include "editor_test_fixture.h"
#include "language/translation.h"
#include "platform/strings.h"
#include "reports/except_report.h"
#include "reports/param_report.h"
#include "reports/resource_report.h"
#include "store/task_states.h"
#include "support/scoped_env.h"
#include "ui/editors.h"
#include "ui/except_form.h"
#include "ui/first_start_dialog.h"
#include "ui/output_form.h"
#include "ui/param_form.h"
#include "ui/protocol_form.h"
#include "ui/resource_form.h"
#include "ui/schedule_pages.h"
#include "ui/task_grid.h"
#include "ui/timeline_form.h"
#include "ui_fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolBar>
#include <QTranslator>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vektrin;
using namespace vektrin::test;

namespace {

struct TableEntry {
    const char* name;
    std::string_view text;
};
const TableEntry tableEntries[] = {
#define VK_STRING(name, text) {#name, text},
#include "resources/strings.inc"
#undef VK_STRING
};

std::set<std::string> untranslatedNames() {
    std::set<std::string> names;
    QFile file(VEKTRIN_SOURCE_DIR "/resources/translations/untranslated.txt");
    if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read untranslated.txt");
    for (QByteArray line : file.readAll().split('\n')) {
        if (const auto hash = line.indexOf('#'); hash >= 0) line.truncate(hash);
        line = line.trimmed();
        if (!line.isEmpty()) names.insert(line.toStdString());
    }
    return names;
}

// The program's title stays as it is; names the interface may show in any language.
const QString Title = QStringLiteral("System monitor - Vektrin 2.1");
const QSet<QString> AllowedWords = {"Vektrin", "PDF", "pdf", "SVG", "svg", "Control", "PID", "MIT",
                                    // key names, as the keys are labelled
                                    "Ctrl", "Home", "End", "PgUp", "PgDown", "Ins", "Del", "Return",
                                    "Esc"};

// The English words of a visible text, once names, numbers and the title are left aside.
QStringList englishWords(QString text) {
    text.remove(Title);
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    QStringList found;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const QString w = it.next().captured();
        if (!AllowedWords.contains(w)) found << w;
    }
    return found;
}

// A word of Latin and Cyrillic letters both (a letter typed in the other layout); in English, any
// Cyrillic but the tests' own data.
const QRegularExpression
    MixedWord(QStringLiteral("\\b(?=\\w*\\p{Latin})(?=\\w*\\p{Cyrillic})\\w+"));
const QRegularExpression Cyrillic(QStringLiteral("\\p{Cyrillic}"));
const QRegularExpression OurData(QStringLiteral("Задача|Остановленная|Странная|Принтер"));

// What the walk found wrong, each with where.
struct Findings {
    QStringList problems;
    bool english = false; // the interface is walked untranslated

    void text(const QString& where, const QString& text) {
        if (english ? QString(text).remove(OurData).contains(Cyrillic) || text.contains(MixedWord)
                    : !englishWords(text).isEmpty() || text.contains(MixedWord))
            problems << QStringLiteral("%1: \"%2\" is not all %3")
                            .arg(where, text, english ? "English" : "Russian");
    }
    void fits(const QString& where, const QString& text, double needed, double available) {
        if (!english && needed > available + 0.01)
            problems << QStringLiteral("%1: \"%2\" needs %3 of %4")
                            .arg(where, text)
                            .arg(needed)
                            .arg(available);
    }
};

QString nameOf(const QWidget* w) {
    return QString::fromLatin1(w->metaObject()->className()) + "(" + w->objectName() + ")";
}

// Every visible text of a window and whether each fits its widget. Edits hold data and are
// left alone; so are the cells of grids over tables.
void walkWindow(QWidget* window, Findings& f, const QString& where) {
    f.text(where + " caption", window->windowTitle());
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        if (!w->isVisibleTo(window) && w != window) continue;
        const QString at = where + " " + nameOf(w);
        if (!w->toolTip().isEmpty()) f.text(at + " hint", w->toolTip());
        if (auto* b = qobject_cast<QPushButton*>(w); b && !b->text().isEmpty()) {
            // Its icon and text against the part of the button the style draws them in.
            QStyleOptionButton option;
            option.initFrom(b);
            const int icon = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
            f.text(at, b->text());
            // The underlined letter's "&" is not drawn.
            const QString shown = QString(b->text()).remove('&');
            f.fits(at, b->text(), b->fontMetrics().horizontalAdvance(shown) + icon,
                   b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b).width());
        } else if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
            f.text(at, b->text());
            f.fits(at, b->text(), b->sizeHint().width(), b->width());
        } else if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty()) {
            f.text(at, l->text());
            if (!l->wordWrap()) f.fits(at, l->text(), l->sizeHint().width(), l->width());
        } else if (auto* g = qobject_cast<QGroupBox*>(w); g && !g->title().isEmpty()) {
            // The title between the frame's corners.
            f.text(at, g->title());
            f.fits(at, g->title(), g->fontMetrics().horizontalAdvance(g->title()) + 16, g->width());
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < c->count(); ++i)
                f.text(at, c->itemText(i));
            // Its size hint is that of its longest item.
            f.fits(at, c->currentText(), c->sizeHint().width(), c->width());
        } else if (auto* h = qobject_cast<QHeaderView*>(w);
                   h && h->orientation() == Qt::Horizontal) {
            const QFontMetrics m(h->font());
            const int margin = h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
            for (int i = 0; i < h->count(); ++i) {
                const QString title = h->model()->headerData(i, Qt::Horizontal).toString();
                f.text(at, title);
                f.fits(at, title, m.horizontalAdvance(title) + 2 * margin, h->sectionSize(i));
            }
        }
    }
}

// Shows a window at the size it opens with, walks it and says whether that size held its
// contents.
void showAndWalk(QWidget* window, Findings& f, const QString& where) {
    const QSize size = window->size();
    window->show();
    QApplication::processEvents();
    walkWindow(window, f, where);
    if (f.english) return; // the English layout is the original one
    // The underlined letters of the window's buttons, each once in Russian too.
    QString letters;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        const qsizetype amp = b->text().indexOf('&');
        if (b->window() != window || amp < 0 || amp + 1 >= b->text().size()) continue;
        if (letters.contains(b->text()[amp + 1].toLower()))
            f.problems << where + ": the letter of \"" + b->text() + "\" is taken";
        letters += b->text()[amp + 1].toLower();
    }
    if (window->size() != size)
        f.problems << QStringLiteral("%1 grew from %2x%3 to %4x%5 to hold its texts")
                          .arg(where)
                          .arg(size.width())
                          .arg(size.height())
                          .arg(window->width())
                          .arg(window->height());
}

void walkMenu(QMenu* menu, Findings& f, const QString& where) {
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) f.text(where + " " + a->objectName(), a->text());
}

// The items of a report's band, each text measured in millimetres against its box; computed
// texts once per record of the report's table.
void walkBand(const Band& band, Table& table, Findings& f, const QString& where) {
    QImage paper(10, 10, QImage::Format_RGB32);
    paper.setDotsPerMeterX(23622); // 600 dpi
    paper.setDotsPerMeterY(23622);
    auto measure = [&](const BandItem& item, const QString& text, const QString& at) {
        f.text(at, text);
        if (item.shrinkToFit) return;
        const double mm = QFontMetricsF(item.font, &paper).horizontalAdvance(text) * 25.4 / 600;
        f.fits(at, text, mm, item.rect.width());
    };
    for (const BandItem& item : band.items) {
        if (item.kind == BandItem::Kind::Label) measure(item, item.text, where + " label");
        if (item.kind != BandItem::Kind::Computed) continue;
        for (table.first(); !table.eof(); table.next())
            measure(item, item.compute(), where + " field");
    }
}

void walkReport(ReportForm& report, Table& table, Findings& f, const QString& where) {
    f.text(where + " caption", report.caption());
    walkBand(report.report().title, table, f, where + " title");
    if (report.report().heading) walkBand(*report.report().heading, table, f, where + " heading");
    walkBand(report.report().detail, table, f, where + " detail");
    f.text(where + " empty text", report.report().emptyText);
    // The preview with its tool bar: Qt's own actions and our "Save as PDF...".
    onNextModal([&f, where](QWidget* preview) {
        f.text(where + " preview caption", preview->windowTitle());
        for (QToolBar* bar : preview->findChildren<QToolBar*>())
            for (QAction* a : bar->actions())
                if (!a->isSeparator()) f.text(where + " preview " + a->objectName(), a->text());
        static_cast<QDialog*>(preview)->reject();
    });
    report.preview(nullptr);
}

// A task per status the grid can show: every completion code, stopped, a failure's exit code
// and a code without a text.
// The fields of the task with completion code `code`: each kind, window mode and switch comes
// up among the fifteen.
void setStateFields(TDataCtrl& d, int code) {
    d.Table1EndCode.setFloat(code);
    d.Table1ExitCode.setInteger(code == 1 ? 3 : 0);
    d.Table1Interval.setInteger(code % 6);
    d.Table1StartDate.setDateTime(*tryEncodeDate(2026, 1, 1 + code % 7));
    d.Table1RunType.setInteger(code % 4);
    d.Table1Interupt.setBoolean(code % 2 == 0);
    d.Table1WaitRes.setBoolean(code % 3 == 0);
    d.Table1Conflicts.setInteger(code % 4);
}

void addTasksInEveryState(TMainForm& form) {
    for (int code = 0; code <= 14; ++code)
        addTask(form, "Задача " + std::to_string(code), [code](TDataCtrl& d) {
            setStateFields(d, code);
            d.Table1Application.setString("");
        });
    addTask(form, "Остановленная", [](TDataCtrl& d) {
        d.Table1Stopped.setBoolean(true);
        d.Table1Application.setString("");
    });
    addTask(form, "Странная", [](TDataCtrl& d) {
        d.Table1EndCode.setFloat(99);
        d.Table1Application.setString("");
    });
}

// The test's row says whether it walks the interface in English: without the translations
// until the returned guard goes.
std::shared_ptr<void> walkedLanguage(Findings& f) {
    QFETCH(bool, english);
    f.english = english;
    const auto all = qApp->findChildren<QTranslator*>(QString(), Qt::FindDirectChildrenOnly);
    for (QTranslator* t : english ? all : QList<QTranslator*>())
        QCoreApplication::removeTranslator(t);
    return std::shared_ptr<void>(nullptr, [all, english](void*) {
        for (QTranslator* t : english ? all : QList<QTranslator*>())
            QCoreApplication::installTranslator(t);
    });
}

// What the process writes on standard error while fn runs.
QString standardError(const std::function<void()>& fn) {
    TempDir dir;
    std::fflush(stderr);
    const int saved = dup(2);
    const int file = ::open(dir.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(file, 2);
    ::close(file);
    fn();
    std::fflush(stderr);
    dup2(saved, 2);
    ::close(saved);
    return QString::fromStdString(readFile(dir.file("stderr")));
}

// The closing punctuation of a text: what follows its last letter or digit.
QString closing(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && !text[end - 1].isLetterOrNumber())
        --end;
    return text.mid(end);
}

// A Russian abbreviation's full stop ("мин.", "дн.") belongs to the word, not to the sentence;
// Russian sets no blank before "!" or ":".
bool closesAlike(const QString& english, const QString& russian) {
    const QString tail = closing(russian);
    if (tail == closing(english) || tail == QString(closing(english)).remove(' ')) return true;
    const qsizetype word = russian.size() - tail.size();
    return tail == "." + closing(english) && word > 0 &&
           russian[word - 1].script() == QChar::Script_Cyrillic;
}

QString leadingBlanks(const QString& text) {
    qsizetype n = 0;
    while (n < text.size() && text[n] == ' ')
        ++n;
    return text.left(n);
}

} // namespace

class RussianInterfaceTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void everyTableTextHasItsTranslation();
    void composedMessagesAreReadPieceByPiece_data();
    void composedMessagesAreReadPieceByPiece();
    void mainWindowMenusAndGrid();
    void editorsOnEveryPage_data();
    void editorsOnEveryPage();
    void protocolViewer();
    void timelineWindow();
    void outputViewerAndFailureNotice();
    void reportsAndTheirPreviews_data() { editorsOnEveryPage_data(); }
    void reportsAndTheirPreviews();
    void messagesReachTheOperatorInRussian();
    void startUpRefusalsInRussian();
};

void RussianInterfaceTest::initTestCase() {
    TranslationFiles files;
    files.qtDirectory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const LanguageResult result =
        installLanguage(*QCoreApplication::instance(), InterfaceLanguage::Russian, files);
    QCOMPARE(result.language, InterfaceLanguage::Russian);
    // Qt's own translations come with qt6-translations-l10n (scripts/deps).
    QVERIFY2(result.problems.empty(),
             result.problems.empty() ? "" : result.problems.front().c_str());
}

void RussianInterfaceTest::everyTableTextHasItsTranslation() {
    const std::set<std::string> keep = untranslatedNames();
    QStringList problems;
    for (const TableEntry& e : tableEntries) {
        const QString english = plainText(e.text);
        const QString russian = qs(e.text);
        const QString at = QString::fromLatin1(e.name);
        if (keep.count(e.name)) {
            if (russian != english) problems << at + " is kept English but translated";
            continue;
        }
        if (russian == english || !englishWords(russian).isEmpty())
            problems << at + " has no Russian translation: " + russian;
        for (const char* placeholder : {"%s", "%d", "\r\n"})
            if (russian.count(placeholder) != english.count(placeholder))
                problems << at + " changes the count of " + QString(placeholder).toHtmlEscaped();
        if (leadingBlanks(russian) != leadingBlanks(english))
            problems << at + " changes the leading blanks";
        if (!closesAlike(english, russian))
            problems << at + " closes with \"" + closing(russian) + "\" instead of \"" +
                            closing(english) + "\"";
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

void RussianInterfaceTest::composedMessagesAreReadPieceByPiece_data() {
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("asData");
    QTest::newRow("status with exit code") << "Completed with a code 3"
                                           << "Завершена с кодом 3" << false;
    QTest::newRow("unknown code") << "Status with an unknown code 99"
                                  << "Состояние с неизвестным кодом 99" << false;
    QTest::newRow("full stop of the error report") << "Program not found."
                                                   << "Программа не найдена." << false;
    QTest::newRow("text that ends in its own stop") << "Every minute."
                                                    << "Каждую минуту." << false;
    QTest::newRow("prefix and a system error") << "You have a problem: disk I/O error."
                                               << "Возникла проблема: disk I/O error." << false;
    QTest::newRow("two prefixes") << "You have a problem: Completed with a code 3"
                                  << "Возникла проблема: Завершена с кодом 3" << false;
    QTest::newRow("launch error code") << "Execution error with code 13."
                                       << "Ошибка выполнения с кодом 13." << false;
    QTest::newRow("no table text") << "Cannot read /etc/x: Is a directory"
                                   << "Cannot read /etc/x: Is a directory" << false;
    QTest::newRow("a prefix alone is a whole text") << "You have a problem: "
                                                    << "Возникла проблема: " << false;
    // Data that reads like a table text is shown as it is.
    QTest::newRow("task named Tasks") << "Tasks"
                                      << "Tasks" << true;
    QTest::newRow("task named after a prefix") << "Launch error : x"
                                               << "Launch error : x" << true;
}

void RussianInterfaceTest::composedMessagesAreReadPieceByPiece() {
    // The task editor's own words where the editors share the English.
    QCOMPARE(qs(str::DeleteRecordQuestion, "task editor"), QString("Удалить задачу?"));
    QCOMPARE(qs(str::IntervalEveryday, "task editor"), QString("Ежедневный запуск"));
    QCOMPARE(qs(str::ProtocolExitButton, "viewer"), QString("Закрыть"));
    QFETCH(QString, english);
    QFETCH(QString, shown);
    QFETCH(bool, asData);
    const std::string text = english.toStdString();
    QCOMPARE(asData ? plainText(text) : messageText(text), shown);
}

void RussianInterfaceTest::mainWindowMenusAndGrid() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    addTasksInEveryState(*form);
    Findings f;
    form->ShowMainFormClick();
    QApplication::processEvents();
    showAndWalk(form.get(), f, "main window");

    // The status column's texts against its width.
    QAbstractItemModel* model = form->DBGrid1->model();
    const QFontMetrics metrics(form->DBGrid1->font());
    const int padding =
        2 * (form->DBGrid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 1;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString status = model->index(row, 3).data().toString();
        f.text("status column", status);
        f.fits("status column", status, metrics.horizontalAdvance(status) + padding,
               form->DBGrid1->columnWidth(3));
    }

    // The grid menu in each state: stopped, waiting, running with a shown and a hidden window.
    TDataCtrl& d = form->scheduler().dataCtrl();
    for (d.Table1.first(); !d.Table1.eof(); d.Table1.next()) {
        form->PopupMenu1Popup();
        walkMenu(form->PopupMenu1, f, "grid menu");
    }
    const auto id = addTask(*form, "Просмотр");
    selectTask(*form, id);
    form->RunNowClick();
    auto& slot = form->scheduler().RunningTasks.slot(form->scheduler().RunningTasks.AppIndex(id));
    env.windows.wins.push_back({501, slot.ProcessId, "x", false, true});
    form->scheduler().Timer1Timer();
    form->Timer1.stop();
    for (int i = 0; i < 2; ++i) {
        form->PopupMenu1Popup();
        walkMenu(form->PopupMenu1, f, "grid menu, running");
        form->Visualize->trigger();
    }
    // The tray menu with the window shown and hidden.
    for (int i = 0; i < 2; ++i) {
        walkMenu(form->PopupMenu2.get(), f, "tray menu");
        form->ShowMainFormClick();
    }
    QVERIFY2(f.problems.isEmpty(), qPrintable(f.problems.join('\n')));
}

void RussianInterfaceTest::editorsOnEveryPage_data() {
    QTest::addColumn<bool>("english");
    QTest::newRow("Russian") << false;
    QTest::newRow("English") << true;
}

void RussianInterfaceTest::editorsOnEveryPage() {
    Findings f;
    const auto language = walkedLanguage(f);
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    addTasksInEveryState(*form);
    TDataCtrl& d = form->scheduler().dataCtrl();
    d.Table2.append();
    d.Table2ResourceNo.setInteger(1);
    d.Table2ResourceName.setString("Принтер");
    d.Table2.post();
    struct Editor {
        const char* name;
        TMainForm::EditorFactory create;
        Table* table;
        Field* interval;
    };
    const Editor editors[] = {
        {"task editor", createTaskEditor, &d.Table1, &d.Table1Interval},
        {"silence-period editor", createExceptionEditor, &d.Table3, &d.Table3Interval},
        {"resource editor", createResourceEditor, &d.Table2, nullptr},
    };
    for (const Editor& e : editors) {
        // One record per schedule kind (the tasks have them already), each on its page.
        if (e.table == &d.Table3) {
            for (int kind = 0; kind < 6; ++kind) {
                e.table->append();
                e.interval->setInteger(kind);
                e.table->post();
            }
        }
        std::unique_ptr<QDialog> editor = e.create(form->scheduler(), form.get());
        QVERIFY(editor);
        const QSize size = editor->size();
        showAndWalk(editor.get(), f, e.name);
        if (e.interval) {
            for (e.table->first(); !e.table->eof(); e.table->next()) {
                if (auto* p = qobject_cast<TParamForm*>(editor.get())) p->FormActivate();
                if (auto* p = qobject_cast<TExceptForm*>(editor.get())) p->FormActivate();
                QApplication::processEvents();
                walkWindow(editor.get(), f,
                           QStringLiteral("%1, kind %2").arg(e.name).arg(e.interval->asInteger()));
            }
        }
        QCOMPARE(editor->size(), size);
        e.table->cancel();
        editor->hide();
    }
    QVERIFY2(f.problems.isEmpty(), qPrintable(f.problems.join('\n')));
}

void RussianInterfaceTest::protocolViewer() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    Findings f;
    showAndWalk(form->ProtocolForm, f, "protocol viewer");
    form->ProtocolForm->hide();
    QVERIFY2(f.problems.isEmpty(), qPrintable(f.problems.join('\n')));
}

void RussianInterfaceTest::timelineWindow() {
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    // Two tasks every minute on one resource, one with a launch condition, and a silence period
    // of every kind: each tooltip of the chart has its words.
    TDataCtrl& d = form->scheduler().dataCtrl();
    d.Table2.append();
    d.Table2ResourceNo.setInteger(1);
    d.Table2ResourceName.setString("Принтер");
    d.Table2.post();
    for (const char* name : {"Резервная копия", "Печать"})
        addTask(*form, name, [name](TDataCtrl& t) {
            t.Table1Interval.setInteger(0);
            t.Table1Conflicts.setInteger(1);
            t.Table1WaitRes.setBoolean(std::string(name) == "Печать");
            if (std::string(name) == "Печать") t.Table1StartCondition.setString("GT(1)");
        });
    // Every kind but "always", each an hour long where it has hours.
    for (int kind = 1; kind < 6; ++kind) {
        d.Table3.append();
        d.Table3Interval.setInteger(kind);
        d.Table3StartTime.setDateTime(*tryEncodeTime(kind == 1 ? 0 : 3, kind == 1 ? 15 : 0, 0));
        d.Table3EndTime.setDateTime(*tryEncodeTime(kind == 1 ? 0 : 4, kind == 1 ? 20 : 0, 0));
        d.Table3.post();
    }
    form->TimelineClick();
    QVERIFY(form->TimelineForm);
    Findings f;
    showAndWalk(form->TimelineForm, f, "timeline");
    const QString svg = QString::fromStdString(form->TimelineForm->svg());
    static const QRegularExpression title(QStringLiteral("<title>([^<]*)</title>"));
    int titles = 0;
    for (auto it = title.globalMatch(svg); it.hasNext(); ++titles)
        f.text(
            "timeline tooltip",
            it.next().captured(1).replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&"));
    QVERIFY(svg.contains("class=\"conflict\""));
    QVERIFY(titles > 3);
    // A day's name before its date in lower case, as Russian writes it there.
    QVERIFY2(svg.contains(QRegularExpression(
                 "bold[^>]*>(понедельник|вторник|среда|четверг|пятница|суббота|воскресенье), ")),
             qPrintable(svg.left(3000)));
    form->TimelineForm->hide();
    QVERIFY2(f.problems.isEmpty(), qPrintable(f.problems.join('\n')));
}

void RussianInterfaceTest::outputViewerAndFailureNotice() {
    UiEnv env;
    MainFormPlatform p = env.platform();
    p.config.outputDirectory = env.dir.file("output");
    TestForm form(p);
    QVERIFY(form.start() == -1);
    form.Timer1.stop();
    const auto id = addTask(form, "Резервная копия");
    for (int status : {0, 3}) {
        selectTask(form, id);
        form.RunNowClick();
        writeFile(env.processes.launches.back().outputPath, "printed\n");
        env.processes.exit(env.processes.lastHandle, status);
        form.scheduler().Timer1Timer();
        env.clock.advanceSeconds(90);
    }
    selectTask(form, id);
    form.PopupMenu1Popup();
    Findings f;
    walkMenu(form.PopupMenu1, f, "grid menu with runs");
    form.Output->trigger();
    QCOMPARE(form.OutputForm->RunList->count(), 2);
    showAndWalk(form.OutputForm, f, "output viewer");
    for (int row = 0; row < form.OutputForm->RunList->count(); ++row)
        f.text("output run", form.OutputForm->RunList->item(row)->text());
    form.OutputForm->hide();
    const auto none = addTask(form, "Без вывода");
    form.OutputForm->showTask(none, "Без вывода");
    f.text("output run", form.OutputForm->RunList->item(0)->text());
    form.OutputForm->hide();

    // A notification's words; the run's last line stays as it was printed.
    const struct {
        const char* what;
        const char* shown;
    } notices[] = {
        {"Completed with a code 3", "Завершена с кодом 3"},
        {"Launch error : Program not found", "Ошибка запуска задачи: Программа не найдена"},
        {"Interrupted by program", "Прервана программой"},
        {"Time of a resource liberation waiting is over",
         "Время ожидания освобождения ресурса истекло"},
    };
    for (const auto& n : notices)
        QCOMPARE(TMainForm::noticeText({id, "Задача", n.what, "Disk full"}),
                 QString::fromUtf8(n.shown) + "\nDisk full");
    QVERIFY2(f.problems.isEmpty(), qPrintable(f.problems.join('\n')));
}

void RussianInterfaceTest::reportsAndTheirPreviews() {
    Findings f;
    const auto language = walkedLanguage(f);
    EditorWorld world;
    for (int code = 0; code <= 14; ++code)
        world.addTask("Задача " + std::to_string(code),
                      [code](TDataCtrl& d) { setStateFields(d, code); });
    world.addTask("Остановленная", [](TDataCtrl& d) { d.Table1Stopped.setBoolean(true); });
    world.addResource(1, "Принтер", *tryEncodeTime(0, 30, 0));
    for (int kind = 0; kind < 6; ++kind)
        world.addPeriod([kind](TDataCtrl& d) {
            d.Table3Interval.setInteger(kind);
            d.Table3StartDate.setDateTime(*tryEncodeDate(2026, 1, kind == 4 ? 15 : 3));
        });
    TParamReportForm tasks(*world.scheduler);
    walkReport(tasks, world.dm().Table1, f, "task report");
    TExceptReportForm periods(*world.scheduler);
    walkReport(periods, world.dm().Table3, f, "silence-period report");
    TResourceReportForm resources(*world.scheduler);
    walkReport(resources, world.dm().Table2, f, "resource report");
    QVERIFY2(f.problems.isEmpty(), qPrintable(f.problems.join('\n')));
}

void RussianInterfaceTest::messagesReachTheOperatorInRussian() {
    Findings f;
    {
        // The scheduler's own messages and the general error report, on the real main window:
        // headless, each is one line on standard error.
        UiEnv env;
        auto* form = new TMainForm(env.platform());
        QVERIFY(form->start() == -1);
        form->Timer1.stop();
        const QString lines = standardError([&] {
            form->showMessage(str::TooManyTasks, MessageKind::Plain);
            form->scheduler().reportError(str::LaunchProgramNotFound);
            form->scheduler().reportError(std::string(str::YouHaveAProblem) + "/данные");
            form->showMessage(str::TooComplexExpression, MessageKind::Information);
        });
        QCOMPARE(lines.count('\n'), 4);
        for (const QString& line : lines.split('\n', Qt::SkipEmptyParts))
            f.text("message line", line);
        QVERIFY2(lines.contains("Выполняется слишком много задач. Попробуйте позже!!!"),
                 qPrintable(lines));
        QVERIFY2(lines.contains("Программа не найдена."), qPrintable(lines));
        delete form;
    }
    // The editors' refusals, the exit refusals and the delete question, as the operator meets
    // them.
    UiEnv env;
    auto form = env.startForm();
    QVERIFY(form);
    addTask(*form, "Задача");
    form->DBGrid1->deleteRequested();
    for (const QString& q : form->questions)
        f.text("question", q);
    QCOMPARE(form->questions.size(), qsizetype(1));

    auto editor = createTaskEditor(form->scheduler(), form.get());
    auto* pages = editor->findChild<SchedulePages*>();
    TDataCtrl& d = form->scheduler().dataCtrl();
    d.Table1.edit();
    d.Table1Interval.setInteger(1);
    editor->show();
    static_cast<TParamForm*>(editor.get())->FormActivate();
    auto* minute = pages->findChild<QLineEdit*>("EditHourStartTime");
    minute->setText("75");
    minute->setText("x");
    auto* condition = editor->findChild<QLineEdit*>("EditStartCondition");
    condition->setText("GT(");
    static_cast<TParamForm*>(editor.get())->GoodConditions();
    condition->setText("1/0");
    form->ExitBtnClick();
    condition->setText("");
    d.Table1.cancel();
    editor->hide();
    auto resources = createResourceEditor(form->scheduler(), form.get());
    resources->show();
    d.Table2.append();
    d.Table2ResourceNo.setInteger(40);
    resources->findChild<QLineEdit*>("EditResourceNo")->setText("40");
    static_cast<TResourceForm*>(resources.get())->EditResourceNoExit();
    // What the tables refuse: a number they cannot read, a record without its number.
    QTest::keyClicks(resources->findChild<QLineEdit*>("EditResourceNo"), ",5");
    QTest::keyClick(resources->findChild<QLineEdit*>("EditResourceNo"), Qt::Key_Return);
    d.Table2ResourceNo.clear();
    QVERIFY_THROWS_EXCEPTION(AbortError, d.Table2.post());
    d.Table2.cancel();
    QVERIFY(form->messages.size() >= 5);
    for (const std::string& m : form->messages)
        f.text("message", messageText(m));
    QVERIFY2(f.problems.isEmpty(), qPrintable(f.problems.join('\n')));
}

// The core raises them in English; the interface says them from their identity and values,
// each from a real failing condition. A path or the system's reason (`data`) stays as it is.
void RussianInterfaceTest::startUpRefusalsInRussian() {
    using Holder = std::shared_ptr<void>; // a second scheduler or writer, held while the start runs
    using Config = SchedulerConfig;
    const struct {
        const char* what;
        std::function<void(UiEnv&, Config&, Holder&)> make;
        const char* said;
        std::string data;
    } cases[] = {
        {"another program's table file",
         [](UiEnv& e, Config&, Holder&) { writeFile(e.tables() + "/Vektrin.db", "not ours\n"); },
         "не файл таблицы этой программы; он оставлен без изменений", ""},
        {"a directory for a table file",
         [](UiEnv& e, Config&, Holder&) { ::mkdir((e.tables() + "/Vektrin.db").c_str(), 0700); },
         "это каталог, а не файл таблицы", ""},
        {"an aliases file that cannot be read",
         [](UiEnv& e, Config& c, Holder&) { c.aliasesFile = e.dir.path(); },
         "Не удаётся прочитать файл псевдонимов", std::strerror(EISDIR)},
        {"tables held by another scheduler",
         [](UiEnv& e, Config&, Holder& h) { h = e.startForm(); },
         "Другой планировщик уже работает с таблицами", ""},
        {"a protocol held by another scheduler",
         [](UiEnv& e, Config& c, Holder& h) {
             h = e.startForm();
             c.aliasesFile = e.dir.file("other.ini");
             writeFile(c.aliasesFile, "[Control]\npath=" + e.dir.path() + "\n");
         },
         "Другой планировщик уже ведёт протокол", ""},
        {"a protocol that cannot be opened",
         [](UiEnv& e, Config& c, Holder&) { c.logPath = e.dir.path(); },
         "Файл протокола не открывается для дописывания", std::strerror(EISDIR)},
        {"a language choice the settings file cannot take",
         [](UiEnv& e, Config& c, Holder&) {
             c.arguments = {"rus"};
             ::mkdir(e.settings->path().c_str(), 0700);
         },
         "Возникла проблема: Не удаётся прочитать файл настроек", std::strerror(EISDIR)},
        {"a table another writer holds",
         [](UiEnv& e, Config&, Holder& h) {
             addTask(*e.startForm(), "left", [](TDataCtrl& d) { d.Table1EndCode.setFloat(2); });
             sqlite3* db = nullptr;
             sqlite3_open((e.tables() + "/Vektrin.db").c_str(), &db);
             sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
             h = Holder(db, [](void* db) { sqlite3_close(static_cast<sqlite3*>(db)); });
         },
         "Программа Vektrin не смогла запуститься", "database is locked"},
    };
    Findings f;
    const auto check = [&f](const QString& what, QString text, const std::string& dir,
                            const std::string& data) {
        const QString path = QRegularExpression::escape(plainText(dir)) + "\\S*";
        f.text(what, text.remove(QRegularExpression(path)).remove(plainText(data)));
    };
    for (const auto& c : cases) {
        UiEnv env;
        MainFormPlatform platform = env.platform();
        Holder holder;
        c.make(env, platform.config, holder);
        const QString line = standardError([&] { QVERIFY(TMainForm(platform).start() > 0); });
        QVERIFY2(line.contains(QString::fromUtf8(c.said)), qPrintable(c.what + (": " + line)));
        // The caption, the program's title, left aside.
        check(c.what, line.section(QStringLiteral(": "), 1), env.dir.path(), c.data);
    }

    // The first start's failure, in the desktop's own box.
    TempDir home;
    ScopedEnv vars("VEKTRIN_ALIASES", home.file("aliases.ini").c_str());
    vars.set("XDG_DATA_HOME", "/dev/null");
    QString shown;
    onNextModal([&shown](QWidget* question) {
        onNextModal([&shown](QWidget* box) {
            shown = static_cast<QMessageBox*>(box)->text();
            static_cast<QDialog*>(box)->accept();
        });
        static_cast<QMessageBox*>(question)->defaultButton()->click();
    });
    QVERIFY(!offerFirstStart());
    QVERIFY2(shown.contains("первый запуск: Не удаётся создать каталог"), qPrintable(shown));
    check("first start", shown, "/dev/null", std::strerror(ENOTDIR));
    QVERIFY2(f.problems.isEmpty(), qPrintable(f.problems.join('\n')));
}

QTEST_MAIN(RussianInterfaceTest)
#include "russian_interface_test.moc"
