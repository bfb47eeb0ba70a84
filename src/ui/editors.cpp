#include "ui/editors.h"

namespace vektrin {

std::unique_ptr<QDialog> createTaskEditor(Scheduler&, QWidget*) { return nullptr; }
std::unique_ptr<QDialog> createExceptionEditor(Scheduler&, QWidget*) { return nullptr; }
std::unique_ptr<QDialog> createResourceEditor(Scheduler&, QWidget*) { return nullptr; }

} // namespace vektrin
