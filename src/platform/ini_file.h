#pragma once
// Small INI files: [section] lines and name=value lines; ';' or '#' starts a comment line.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

struct IniEntry {
    std::string section;
    std::string name;
    std::string value;
};

class IniFile {
  public:
    // Empty when the file cannot be read.
    static std::optional<IniFile> load(const std::string& path);
    static IniFile parse(std::string_view text);

    std::optional<std::string> value(std::string_view section, std::string_view name) const;
    bool hasSection(std::string_view section) const;
    void set(std::string_view section, std::string_view name, std::string_view value);
    std::string serialise() const;
    // Writes a temporary file beside path and renames it over, so a crash never leaves half a file.
    bool save(const std::string& path) const;

  private:
    std::vector<std::string> sections_;
    std::vector<IniEntry> entries_;
};

} // namespace vektrin
