#include "platform/regional_locales.h"

#include "platform/regional.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {
namespace {

constexpr const char* DefaultLocaleDirectory = "/usr/lib/locale";

// The glibc locale archive: a header of 32-bit fields, a table of name entries (hash, offset of
// the name, offset of the locale record; a free slot has no record) and the names themselves.
constexpr std::uint32_t ArchiveMagic = 0xde020109;
constexpr std::size_t ArchiveHeaderFields = 14;
constexpr std::size_t NameTableOffsetField = 2;
constexpr std::size_t NameTableSizeField = 4;
// Far above any real archive; a damaged header must not make us read gigabytes.
constexpr std::uint32_t MaxNameSlots = 1u << 20;
constexpr std::size_t MaxNameLength = 255;

bool readAt(int fd, void* into, std::size_t size, off_t offset) {
    auto* p = static_cast<char*>(into);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

// Names of the locales in an archive; nothing when the file is missing or not an archive.
void namesInArchive(const std::string& path, std::set<std::string>& names) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    std::uint32_t header[ArchiveHeaderFields] = {};
    if (::fstat(fd, &st) != 0 || !readAt(fd, header, sizeof header, 0) ||
        header[0] != ArchiveMagic) {
        ::close(fd);
        return;
    }
    const std::uint64_t tableOffset = header[NameTableOffsetField];
    const std::uint32_t slots = header[NameTableSizeField];
    const std::uint64_t fileSize = static_cast<std::uint64_t>(st.st_size);
    if (slots > MaxNameSlots || tableOffset + std::uint64_t{slots} * 12 > fileSize) {
        ::close(fd);
        return;
    }
    std::vector<std::uint32_t> table(std::size_t{slots} * 3);
    if (!readAt(fd, table.data(), table.size() * sizeof(std::uint32_t),
                static_cast<off_t>(tableOffset))) {
        ::close(fd);
        return;
    }
    char name[MaxNameLength + 1];
    for (std::size_t i = 0; i < slots; ++i) {
        const std::uint32_t nameOffset = table[3 * i + 1];
        const std::uint32_t record = table[3 * i + 2];
        if (record == 0 || nameOffset >= fileSize) continue;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(MaxNameLength, fileSize - nameOffset));
        const ssize_t n = ::pread(fd, name, want, nameOffset);
        if (n <= 0) continue;
        const std::size_t length = ::strnlen(name, static_cast<std::size_t>(n));
        if (length == 0 || length == static_cast<std::size_t>(n)) continue; // unterminated
        // A name is never a path; a damaged archive must not lead the C library elsewhere.
        if (std::memchr(name, '/', length)) continue;
        names.emplace(name, length);
    }
    ::close(fd);
}

// Compiled locales kept as directories of category files (C.utf8 is one on Debian).
void namesInDirectory(const std::string& directory, std::set<std::string>& names) {
    DIR* d = ::opendir(directory.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.') continue;
        struct stat st {};
        if (::stat((directory + "/" + name + "/LC_TIME").c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.insert(name);
    }
    ::closedir(d);
}

bool readable(const std::string& format) {
    bool day = false, month = false, year = false;
    for (char c : format) {
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        day = day || lower == 'd';
        month = month || lower == 'm';
        year = year || lower == 'y';
    }
    return day && month && year;
}

std::vector<std::string> computePlatformShortDateFormats() {
    std::vector<std::string> formats;
    auto add = [&](const std::optional<std::string>& format) {
        if (format && readable(*format) &&
            std::find(formats.begin(), formats.end(), *format) == formats.end())
            formats.push_back(*format);
    };
    add(shortDateFormatOfLocale("C"));
    for (const std::string& name : installedLocaleNames())
        add(shortDateFormatOfLocale(name.c_str()));
    return formats;
}

} // namespace

std::vector<std::string> installedLocaleNames() {
    std::set<std::string> names;
    // As the C library itself does: $LOCPATH replaces the default place, archive included.
    const char* locpath = std::getenv("LOCPATH");
    if (locpath && *locpath) {
        std::string list = locpath;
        for (std::size_t from = 0; from <= list.size();) {
            std::size_t colon = list.find(':', from);
            if (colon == std::string::npos) colon = list.size();
            if (colon > from) namesInDirectory(list.substr(from, colon - from), names);
            from = colon + 1;
        }
    } else {
        namesInArchive(std::string(DefaultLocaleDirectory) + "/locale-archive", names);
        namesInDirectory(DefaultLocaleDirectory, names);
    }
    names.erase("C");
    names.erase("POSIX");
    return {names.begin(), names.end()};
}

const std::vector<std::string>& platformShortDateFormats() {
    static const std::vector<std::string> formats = computePlatformShortDateFormats();
    return formats;
}

} // namespace vektrin
