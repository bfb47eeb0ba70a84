#include "ui/editors.h"

#include "language/translation.h"
#include "store/message_port.h"
#include "ui/except_form.h"
#include "ui/param_form.h"
#include "ui/resource_form.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

namespace vektrin {
namespace {

// Where the editor's own message boxes go when the parent is not the operator interface the
// scheduler talks to: plain boxes, or one line on standard error where nobody can see them.
class BoxMessages : public QObject, public MessagePort {
  public:
    explicit BoxMessages(QObject* owner) : QObject(owner) {}

    void showMessage(std::string_view text, MessageKind kind) override {
        const QString t = messageText(text);
        const QString platform = QGuiApplication::platformName();
        if (platform == "offscreen" || platform == "minimal") {
            std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                         qPrintable(t));
            return;
        }
        // Over the window in front (the editor that raised it), not wherever the screen has room.
        QMessageBox box(kind == MessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                        QCoreApplication::applicationName(), t, QMessageBox::Ok,
                        QApplication::activeModalWidget());
        box.exec();
    }
};

// The main window is the message port the scheduler uses; any other parent gets plain boxes.
template <class Form> std::unique_ptr<QDialog> createEditor(Scheduler& scheduler, QWidget* parent) {
    if (auto* port = dynamic_cast<MessagePort*>(parent))
        return std::make_unique<Form>(scheduler, *port, parent);
    auto* fallback = new BoxMessages(nullptr);
    auto form = std::make_unique<Form>(scheduler, *fallback, parent);
    // The form owns the fallback, which it outlives only as a child being destroyed.
    fallback->setParent(form.get());
    return form;
}

} // namespace

std::unique_ptr<QDialog> createTaskEditor(Scheduler& scheduler, QWidget* parent) {
    return createEditor<TParamForm>(scheduler, parent);
}

std::unique_ptr<QDialog> createExceptionEditor(Scheduler& scheduler, QWidget* parent) {
    return createEditor<TExceptForm>(scheduler, parent);
}

std::unique_ptr<QDialog> createResourceEditor(Scheduler& scheduler, QWidget* parent) {
    return createEditor<TResourceForm>(scheduler, parent);
}

} // namespace vektrin
