// The desktop program's first-start question, answered as an operator would.

#include "language/translation.h"
#include "platform/strings.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "ui/first_start_dialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

using namespace vektrin;

class FirstStartDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void createDefinesTheAliasAndCancelWritesNothing() {
        const test::TempDir home;
        test::ScopedEnv env;
        env.set("VEKTRIN_ALIASES", home.file("aliases.ini"));
        env.set("XDG_DATA_HOME", home.file("data"));
        const std::string tables = home.file("data") + "/vektrin/tables";

        QString shown;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            shown = box->text();
            for (QAbstractButton* b : box->buttons())
                if (b->text() == qs(str::FirstStartCancel)) b->click();
        });
        QVERIFY(!offerFirstStart());
        QVERIFY(shown.contains(QString::fromStdString(home.file("aliases.ini"))));
        QVERIFY(shown.contains(QString::fromStdString(tables)));
        QCOMPARE(access(home.file("aliases.ini").c_str(), F_OK), -1);

        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QAbstractButton* b : box->buttons())
                if (b->text() == qs(str::FirstStartCreate)) b->click();
        });
        QVERIFY(offerFirstStart());
        QCOMPARE(access((tables + "/Vektrin.db").c_str(), F_OK), 0);
        // Defined now: nothing is asked again.
        QVERIFY(offerFirstStart());
    }
};

QTEST_MAIN(FirstStartDialogTest)
#include "first_start_dialog_test.moc"
