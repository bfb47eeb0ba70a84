#include "platform/aliases.h"

#include "platform/config_paths.h"
#include "platform/ini_file.h"
#include "platform/location.h"

#include <cstdlib>

namespace vektrin {

std::vector<std::string> aliasesFileCandidates() {
    if (const char* env = std::getenv("VEKTRIN_ALIASES"); env && *env) return {env};
    return configFileCandidates("aliases.ini");
}

std::string aliasesFilePath() {
    const auto candidates = aliasesFileCandidates();
    const std::string present = firstPresentConfigFile(candidates);
    return present.empty() ? candidates.front() : present;
}

std::optional<std::string> lookupAlias(const std::string& name, const std::string& aliasesFile) {
    auto ini = IniFile::load(aliasesFile, AliasesFileKind);
    if (!ini) return std::nullopt;
    auto path = ini->value(name, "path");
    if (!path || path->empty()) return std::nullopt;
    // A database server is named as its client library takes it, not as a path.
    if (isServerLocation(*path)) return path;
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
