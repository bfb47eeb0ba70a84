#pragma once
// The per-user settings that other desktops keep in a registry: one INI file, one section per key
// path, one line per value name. Section and value names compare without regard to letter case,
// as registry names do.

#include "platform/operator_text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vektrin {

class SettingsStore {
  public:
    // settings.ini in the configuration places (see config_paths.h): read from the first that
    // holds the value, written to the first, the user's own.
    SettingsStore();
    explicit SettingsStore(std::string path) : path_(path), readPaths_{std::move(path)} {}

    const std::string& path() const { return path_; }
    // Throws ConfigFileError when a settings file is there but cannot be read.
    std::optional<std::string> read(const std::string& keyPath, const std::string& name) const;
    // Several values, each file read at most once. Throws as read does.
    struct Name {
        std::string keyPath;
        std::string name;
    };
    std::vector<std::optional<std::string>> read(const std::vector<Name>& names) const;
    // What the settings files are now (which files, their sizes and change times): while it stays
    // the same, so do the values read. Costs a stat per file, no reading.
    std::string stamp() const;
    // How many times a settings file has been read.
    std::uint64_t loads() const { return loads_; }
    // Creates the directory and file as needed and keeps everything else the file holds. False
    // when it cannot be written, when the file that is there cannot be read (it is then left as it
    // is), or when the name or value cannot be kept in the file; lastError() says which.
    bool write(const std::string& keyPath, const std::string& name, const std::string& value);
    const OperatorText& lastError() const { return lastError_; }

  private:
    std::string path_;
    std::vector<std::string> readPaths_;
    OperatorText lastError_;
    mutable std::uint64_t loads_ = 0;
};

inline constexpr const char* LocalesKey = "Software\\Borland\\Locales";

} // namespace vektrin
