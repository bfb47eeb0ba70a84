#pragma once
// The per-user settings that other desktops keep in a registry: one INI file, one section per key
// path, one line per value name. Section and value names compare without regard to letter case,
// as registry names do.

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
    // Creates the directory and file as needed and keeps everything else the file holds. False
    // when it cannot be written, when the file that is there cannot be read (it is then left as it
    // is), or when the name or value cannot be kept in the file; lastError() says which.
    bool write(const std::string& keyPath, const std::string& name, const std::string& value);
    const std::string& lastError() const { return lastError_; }

  private:
    std::string path_;
    std::vector<std::string> readPaths_;
    std::string lastError_;
};

inline constexpr const char* LocalesKey = "Software\\Borland\\Locales";

} // namespace vektrin
