#include "platform/host_name.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace vektrin::platform {

std::string schedulerHost() {
    if (const char* name = std::getenv("VEKTRIN_HOST"); name && *name) return name;
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

} // namespace vektrin::platform
