#pragma once
// A main window in the test world; its message boxes and questions are recorded instead of
// shown.

#include "language/translation.h"
#include "support/test_world.h"
#include "ui/main_form.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <deque>
#include <functional>

namespace vektrin::test {

class TestForm : public TMainForm {
  public:
    using TMainForm::TMainForm;

    void showMessage(std::string_view text, MessageKind kind) override {
        messages.emplace_back(text);
        kinds.push_back(kind);
    }
    // A message with its identity, as the operator reads it.
    void showText(const OperatorText& text, MessageKind kind) override {
        showMessage(operatorText(text).toStdString(), kind);
    }

    std::vector<std::string> messages;
    std::vector<MessageKind> kinds;
    QStringList questions;
    std::deque<bool> answers; // OK when none is queued

  protected:
    bool confirm(const QString& text) override {
        questions.push_back(text);
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// The test world with a main window in it.
struct UiEnv : TestWorld {
    MainFormPlatform platform() {
        return MainFormPlatform{clock, processes, windows, *settings, regional, config()};
    }

    // A started main window; its one-second timer is stopped so that nothing runs unasked.
    std::unique_ptr<TestForm> startForm() {
        auto form = std::make_unique<TestForm>(platform());
        if (form->start() != -1) return nullptr;
        form->Timer1.stop();
        return form;
    }
};

// Appends a task; set fills its fields while the record is being inserted.
inline std::int32_t addTask(TMainForm& form, const std::string& name,
                            const std::function<void(TDataCtrl&)>& set = {}) {
    return TestWorld::appendTask(form.scheduler().dataCtrl(), name, [&](TDataCtrl& d) {
        d.Table1Application.setString("prog-" + name);
        d.Table1Interval.setInteger(2); // daily at midnight: never due while a test runs
        if (set) set(d);
    });
}

inline void selectTask(TMainForm& form, std::int32_t appId) {
    TDataCtrl& d = form.scheduler().dataCtrl();
    for (d.Table1.first(); !d.Table1.eof(); d.Table1.next())
        if (d.Table1AppID.asInteger() == appId) return;
}

// Runs fn inside the modal loop of the next modal window to open (after this call), then
// leaves it there; fn usually ends by closing that window.
inline void onNextModal(std::function<void(QWidget*)> fn) {
    QWidget* before = QApplication::activeModalWidget();
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, before, fn] {
        QWidget* now = QApplication::activeModalWidget();
        if (!now || now == before || !now->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        fn(now);
    });
    timer->start();
}

// An editor stand-in: a plain dialog that records when it was created.
inline TMainForm::EditorFactory fakeEditor(int* created = nullptr) {
    return [created](Scheduler&, QWidget* parent) {
        if (created) ++*created;
        auto dialog = std::make_unique<QDialog>(parent);
        dialog->setObjectName("FakeEditor");
        return dialog;
    };
}

} // namespace vektrin::test
