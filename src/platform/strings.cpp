#include "platform/strings.h"

namespace vektrin::str {

std::string taskMessage(std::string_view format, std::string_view appName) {
    const auto pos = format.find("%s");
    if (pos == std::string_view::npos) return std::string(format);
    std::string out;
    out.reserve(format.size() + appName.size());
    out.append(format.substr(0, pos)).append(appName).append(format.substr(pos + 2));
    return out;
}

} // namespace vektrin::str
