#include "platform/strings.h"

namespace vektrin::str {

std::string taskMessage(std::string_view format, std::string_view appName) {
    std::string out(format);
    if (auto pos = out.find("%s"); pos != std::string::npos) out.replace(pos, 2, appName);
    return out;
}

} // namespace vektrin::str
