#include "platform/aliases.h"

#include "platform/ini_file.h"

#include <cstdlib>
#include <sys/stat.h>

namespace vektrin {
namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::string configHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.config";
}

} // namespace

std::string aliasesFilePath() {
    if (const char* env = std::getenv("VEKTRIN_ALIASES"); env && *env) return env;
    const std::string user = configHome() + "/vektrin/aliases.ini";
    if (exists(user)) return user;
    return "/etc/xdg/vektrin/aliases.ini";
}

std::optional<std::string> lookupAlias(const std::string& name, const std::string& aliasesFile) {
    auto ini = IniFile::load(aliasesFile);
    if (!ini) return std::nullopt;
    auto path = ini->value(name, "path");
    if (!path || path->empty()) return std::nullopt;
    if (path->front() != '/') {
        const auto slash = aliasesFile.rfind('/');
        const std::string base = slash == std::string::npos ? "." : aliasesFile.substr(0, slash);
        *path = base + "/" + *path;
    }
    while (path->size() > 1 && path->back() == '/')
        path->pop_back();
    return path;
}

} // namespace vektrin
