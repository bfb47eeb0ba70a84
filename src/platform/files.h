#pragma once
// File search and disk space for the file functions of conditions. Condition texts arrive
// upper-cased and may be written with either separator, so names are matched without regard to
// case, directory by directory, and "\" separates like "/".

#include "platform/date_time.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

struct FoundEntry {
    std::string name; // as the directory holds it
    bool directory = false;
    std::uint64_t size = 0;
    std::int64_t mtimeSeconds = 0; // POSIX time of the last write
};

// Every entry that `pattern` matches, sorted by name, directories included (callers decide what
// a directory means to them); "." and ".." never. The last component may hold "*" and "?" ("*.*"
// is every name); "[" and "]" are plain characters. A drive prefix such as "D:" matches nothing.
std::vector<FoundEntry> findFiles(std::string_view pattern);

// The search `pattern` stands for, spelled one way: "/" for either separator, no empty components.
// Patterns with the same key find the same entries. Case is kept: two directories may differ in
// case only. Empty for a text that finds nothing without reading the disk.
std::optional<std::string> searchKey(std::string_view pattern);

// The path with each component replaced by the entry it names: the exact name when it exists,
// else the first (by name) that differs from it in case only. Empty when some component names
// nothing, or for a drive prefix. Relative paths stay relative to the current directory.
std::optional<std::string> resolvePath(std::string_view path);

struct DiskSpace {
    std::int64_t freeBytes = -1; // available to this user
    std::int64_t totalBytes = -1;
};

// Space of the file system holding `path`; -1 for both when the path names nothing.
DiskSpace diskSpace(std::string_view path);

// A file time in local time at the two-second resolution of DOS time stamps; empty outside the
// years 1980..2107 that such a stamp can hold.
std::optional<DateTime> dosLocalDateTime(std::int64_t unixSeconds);

} // namespace vektrin
