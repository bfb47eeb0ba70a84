#include "platform/strings.h"

namespace vektrin::str {

std::string fill(std::string_view format, std::initializer_list<std::string> args) {
    std::string out;
    auto arg = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' &&
            arg != args.end()) {
            out += *arg++;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

std::string taskMessage(std::string_view format, std::string_view appName) {
    const auto pos = format.find("%s");
    if (pos == std::string_view::npos) return std::string(format);
    std::string out;
    out.reserve(format.size() + appName.size());
    out.append(format.substr(0, pos)).append(appName).append(format.substr(pos + 2));
    return out;
}

} // namespace vektrin::str
