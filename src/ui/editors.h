#pragma once
// The three editors the main window opens. Each factory gives a fresh window for one modal run.

#include <QDialog>
#include <memory>

namespace vektrin {

class Scheduler;

// Null while the editor does not exist yet; its button and menu items then stay disabled.
std::unique_ptr<QDialog> createTaskEditor(Scheduler& scheduler, QWidget* parent);
std::unique_ptr<QDialog> createExceptionEditor(Scheduler& scheduler, QWidget* parent);
std::unique_ptr<QDialog> createResourceEditor(Scheduler& scheduler, QWidget* parent);

} // namespace vektrin
