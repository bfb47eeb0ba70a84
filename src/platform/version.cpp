#include "platform/version.h"

#include "platform/strings.h"
#include "version_info.h"

namespace vektrin {

std::string fileVersion() {
    std::string v = VEKTRIN_FILE_VERSION;
    return v.empty() ? std::string(str::NoVersionInfo) : v;
}

std::string VersionText(std::string v) {
    if (auto p = v.find('.'); p != std::string::npos) v[p] = '$';
    if (auto p = v.find('.'); p != std::string::npos) v.erase(p);
    if (auto p = v.find('$'); p != std::string::npos) v[p] = '.';
    return v;
}

} // namespace vektrin
