#pragma once
// The name this scheduler goes by among the workstations that share a task list.

#include <string>

namespace vektrin::platform {

// $VEKTRIN_HOST when it is set and not empty, else the machine's host name.
std::string schedulerHost();

} // namespace vektrin::platform
