#pragma once
// The per-user settings that other desktops keep in a registry: one INI file under
// $XDG_CONFIG_HOME/vektrin/, one section per key path, one line per value name.

#include <optional>
#include <string>

namespace vektrin {

class SettingsStore {
  public:
    // Default file: $XDG_CONFIG_HOME/vektrin/settings.ini (~/.config when unset).
    SettingsStore();
    explicit SettingsStore(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    std::optional<std::string> read(const std::string& keyPath, const std::string& name) const;
    // Creates the directory and file as needed; false when they cannot be written.
    bool write(const std::string& keyPath, const std::string& name, const std::string& value);

  private:
    std::string path_;
};

inline constexpr const char* LocalesKey = "Software\\Borland\\Locales";

} // namespace vektrin
