#include "platform/settings_store.h"

#include "platform/config_paths.h"
#include "platform/ini_file.h"
#include "platform/strings.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

namespace vektrin {

SettingsStore::SettingsStore() : readPaths_(configFileCandidates("settings.ini")) {
    path_ = readPaths_.front();
}

std::optional<std::string> SettingsStore::read(const std::string& keyPath,
                                               const std::string& name) const {
    return read(std::vector<Name>{{keyPath, name}}).front();
}

std::vector<std::optional<std::string>> SettingsStore::read(const std::vector<Name>& names) const {
    std::vector<std::optional<std::string>> values(names.size());
    std::size_t found = 0;
    for (const auto& file : readPaths_) {
        if (found == names.size()) break;
        ++loads_;
        if (auto ini = IniFile::load(file, SettingsFileKind))
            for (std::size_t i = 0; i < names.size(); ++i)
                if (!values[i] && (values[i] = ini->value(names[i].keyPath, names[i].name)))
                    ++found;
    }
    return values;
}

std::string SettingsStore::stamp() const {
    std::string stamp;
    for (const auto& file : readPaths_) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0) {
            stamp.append("-").append(std::to_string(errno)).append(";");
            continue;
        }
        for (const auto part :
             {static_cast<long long>(st.st_dev), static_cast<long long>(st.st_ino),
              static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
              static_cast<long long>(st.st_mtim.tv_nsec), static_cast<long long>(st.st_ctim.tv_sec),
              static_cast<long long>(st.st_ctim.tv_nsec)})
            stamp += std::to_string(part) + ":";
        stamp += ";";
    }
    return stamp;
}

bool SettingsStore::write(const std::string& keyPath, const std::string& name,
                          const std::string& value) {
    lastError_ = {};
    try {
        const std::filesystem::path parent = std::filesystem::path(path_).parent_path();
        std::error_code ec;
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
        if (ec) {
            lastError_ = {str::SettingsDirectoryNotMade, {parent.string(), ec.message()}};
            return false;
        }
        // A file that cannot be read is never replaced by one that holds only this value.
        IniFile ini = IniFile::load(path_, SettingsFileKind).value_or(IniFile{});
        if (!ini.set(keyPath, name, value)) {
            lastError_ = {str::SettingsValueNotKept, {name, value, path_}};
            return false;
        }
        ini.save(path_, SettingsFileKind);
        return true;
    } catch (const ConfigFileError& e) {
        lastError_ = e.text();
        return false;
    }
}

} // namespace vektrin
