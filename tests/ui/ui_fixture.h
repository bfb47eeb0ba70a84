#pragma once
// A main window on real tables in a temporary directory, with a fake clock, processes and
// windows; its message boxes and questions are recorded instead of shown.

#include "support/fake_clock.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "ui/main_form.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <deque>
#include <functional>
#include <sys/stat.h>

namespace vektrin::test {

class TestForm : public TMainForm {
  public:
    using TMainForm::TMainForm;

    void showMessage(std::string_view text, MessageKind kind) override {
        messages.emplace_back(text);
        kinds.push_back(kind);
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

struct UiEnv {
    TempDir dir;
    FakeClock clock;
    FakeProcesses processes;
    FakeWindows windows;
    std::unique_ptr<SettingsStore> settings;
    RegionalSettings regional;

    UiEnv() {
        mkdir(tables().c_str(), 0755);
        writeFile(dir.file("aliases.ini"), "[Control]\npath=" + tables() + "\n");
        settings = std::make_unique<SettingsStore>(dir.file("settings.ini"));
        regional.shortDateFormat = "dd.mm.yyyy";
        regional.longTimeFormat = "hh:nn:ss";
        regional.dateSeparator = '.';
        regional.timeSeparator = ':';
        regional.decimalSeparator = '.';
        clock.set(2026, 12, 7, 10, 0, 30);
    }

    std::string tables() const { return dir.path() + "/tables"; }
    std::string log() const { return dir.file("Vektrin.log"); }

    MainFormPlatform platform() {
        SchedulerConfig c;
        c.programPath = "/usr/bin/vektrin";
        c.logPath = log();
        c.aliasesFile = dir.file("aliases.ini");
        c.fileVersion = "2.1.0.7";
        return MainFormPlatform{clock, processes, windows, *settings, regional, c};
    }

    // A started main window; its one-second timer is stopped so that nothing runs unasked.
    std::unique_ptr<TestForm> startForm() {
        auto form = std::make_unique<TestForm>(platform());
        if (form->start() != -1) return nullptr;
        form->Timer1.stop();
        return form;
    }

    // Protocol lines without their date and time stamps ("dd.mm.yyyy hh:nn:ss ").
    std::vector<std::string> protocol() const {
        const std::string text = readFile(log());
        std::vector<std::string> lines;
        for (size_t pos = 0; pos < text.size();) {
            size_t end = text.find("\r\n", pos);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(pos, end - pos);
            lines.push_back(line.size() >= 20 ? line.substr(20) : line);
            pos = end + 2;
        }
        return lines;
    }

    std::vector<std::string> protocolSince(size_t from) const {
        auto lines = protocol();
        return std::vector<std::string>(
            lines.begin() + static_cast<long>(std::min(from, lines.size())), lines.end());
    }
};

// Appends a task; set fills its fields while the record is being inserted.
inline std::int32_t addTask(TMainForm& form, const std::string& name,
                            const std::function<void(TDataCtrl&)>& set = {}) {
    TDataCtrl& d = form.scheduler().dataCtrl();
    d.Table1.append();
    d.Table1AppName.setString(name);
    d.Table1Application.setString("prog-" + name);
    d.Table1Interval.setInteger(2); // daily at midnight: never due while a test runs
    if (set) set(d);
    d.Table1.post();
    return static_cast<std::int32_t>(d.Table1AppID.asInteger());
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
