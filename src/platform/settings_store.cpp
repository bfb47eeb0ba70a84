#include "platform/settings_store.h"

#include "platform/config_paths.h"
#include "platform/ini_file.h"

#include <filesystem>

namespace vektrin {

SettingsStore::SettingsStore() : readPaths_(configFileCandidates("settings.ini")) {
    path_ = readPaths_.front();
}

std::optional<std::string> SettingsStore::read(const std::string& keyPath,
                                               const std::string& name) const {
    for (const auto& file : readPaths_)
        if (auto ini = IniFile::load(file, "settings file"))
            if (auto value = ini->value(keyPath, name)) return value;
    return std::nullopt;
}

bool SettingsStore::write(const std::string& keyPath, const std::string& name,
                          const std::string& value) {
    lastError_.clear();
    try {
        const std::filesystem::path parent = std::filesystem::path(path_).parent_path();
        std::error_code ec;
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
        if (ec) {
            lastError_ = "Cannot create the directory " + parent.string() + ": " + ec.message();
            return false;
        }
        // A file that cannot be read is never replaced by one that holds only this value.
        IniFile ini = IniFile::load(path_, "settings file").value_or(IniFile{});
        if (!ini.set(keyPath, name, value)) {
            lastError_ = "Cannot keep the name \"" + name + "\" with the value \"" + value +
                         "\" in the settings file " + path_;
            return false;
        }
        ini.save(path_, "settings file");
        return true;
    } catch (const ConfigFileError& e) {
        lastError_ = e.what();
        return false;
    }
}

} // namespace vektrin
