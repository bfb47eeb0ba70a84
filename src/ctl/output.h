#pragma once
// vektrinctl output: what a task's runs printed, as the scheduler kept it.

#include "ctl/command.h"

#include <functional>

namespace vektrin::ctl {

// Adds `output TASK [--run N | --list] [--follow]`; when named, its run goes to chosen.
void addOutputCommand(CLI::App& app, Context& context, std::function<int()>& chosen);

} // namespace vektrin::ctl
