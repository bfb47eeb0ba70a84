#pragma once
// Small INI files as people write them: [section] lines and name=value lines; ';' or '#' starts a
// comment line. A UTF-8 byte-order mark is ignored, CR LF and LF both end lines, and sections and
// names compare without regard to (ASCII) letter case; of two equal names the first counts.
// Changing a value keeps every other byte of the file: comments, blank lines, other sections,
// spellings, line ends and the byte-order mark. The text is kept as it is and every lookup or
// change reads it once, front to back: linear in the file's size, whatever its shape.

#include "platform/operator_text.h"

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vektrin {

// A configuration file that is there but cannot be read or written; what() names its path and
// the reason.
class ConfigFileError : public OperatorError {
  public:
    ConfigFileError(std::string path, OperatorText text)
        : OperatorError(std::move(text)), path_(std::move(path)) {}
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// How the refusals name one kind of configuration file: a format of the string table for each,
// the file's path first.
struct ConfigFileKind {
    std::string_view unreadable;    // the system's reason
    std::string_view readDangling;  // the link's target
    std::string_view tooLarge;      // the limit in MiB
    std::string_view lineTooLong;   // the line's number
    std::string_view unwritable;    // the system's reason
    std::string_view writeDangling; // the link's target
};
extern const ConfigFileKind AliasesFileKind;
extern const ConfigFileKind SettingsFileKind;

class IniFile {
  public:
    // Files beyond this size are refused rather than read (a device or a runaway in its place).
    static constexpr std::size_t MaxFileSize = std::size_t{128} << 20;
    // No line of ours comes near this; a longer one is a mistake, refused before any lookup.
    static constexpr std::size_t MaxLineLength = std::size_t{64} << 10;

    // Empty when nothing is at path. Throws ConfigFileError when something is there that cannot
    // be read: no permission, a directory, a broken link, a read error, a line over MaxLineLength
    // (named by its number, never repeated), in the words of its kind.
    static std::optional<IniFile> load(const std::string& path, const ConfigFileKind& kind);
    static IniFile parse(std::string_view text);

    std::optional<std::string> value(std::string_view section, std::string_view name) const;
    bool hasSection(std::string_view section) const;
    // Replaces the first value of that name, or adds the name after the section's last value, or
    // adds the section at the end. False, changing nothing, for what the file could not give back
    // as it was given: line breaks, a name with '=' or starting with ';', '#', '[' or a byte-order
    // mark, blanks at either end.
    bool set(std::string_view section, std::string_view name, std::string_view value);
    std::string serialise() const;
    // Writes a temporary file beside the file (beside the target of a link, so the link stays),
    // with the old file's permissions, flushes it and renames it over, so a crash never leaves
    // half a file. Throws ConfigFileError naming the path.
    void save(const std::string& path, const ConfigFileKind& kind) const;

  private:
    struct Entry {
        std::size_t valueBegin; // offsets into text_ of the value, without blanks
        std::size_t valueEnd;
        std::size_t afterEquals; // where an empty value is written
        std::size_t lineEnd;     // before the line's CR LF or LF
    };
    struct Found {
        std::optional<Entry> entry;            // the first value of the name in the section
        std::optional<std::size_t> sectionEnd; // after the section's last header or value line
    };

    static bool sameFolded(std::string_view a, std::string_view b);
    Found find(std::string_view section, std::string_view name) const;

    std::string text_; // the file without its byte-order mark
    bool byteOrderMark_ = false;
    std::string lineEnd_ = "\n";
};

} // namespace vektrin
