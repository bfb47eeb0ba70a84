#include "platform/settings_store.h"

#include "platform/ini_file.h"

#include <cstdlib>
#include <filesystem>

namespace vektrin {

SettingsStore::SettingsStore() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::string base =
        xdg && *xdg == '/' ? std::string(xdg) : std::string(home && *home ? home : "") + "/.config";
    path_ = base + "/vektrin/settings.ini";
}

std::optional<std::string> SettingsStore::read(const std::string& keyPath,
                                               const std::string& name) const {
    auto ini = IniFile::load(path_);
    if (!ini) return std::nullopt;
    return ini->value(keyPath, name);
}

bool SettingsStore::write(const std::string& keyPath, const std::string& name,
                          const std::string& value) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
    IniFile ini = IniFile::load(path_).value_or(IniFile{});
    ini.set(keyPath, name, value);
    return ini.save(path_);
}

} // namespace vektrin
