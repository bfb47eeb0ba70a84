#include "platform/ini_file.h"

#include "platform/strings.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {
namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

char folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// What parse() would give back unchanged: no line breaks, nothing it trims away.
bool keepsAsWritten(std::string_view s) {
    if (s.find_first_of("\r\n") != std::string_view::npos) return false;
    return s.empty() || (!isBlank(s.front()) && !isBlank(s.back()));
}

[[noreturn]] void fail(const std::string& path, std::string_view format, std::string reason) {
    throw ConfigFileError(path, {format, {path, std::move(reason)}});
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // The result of close(2), which is where some file systems report a failed write.
    int close() {
        int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

  private:
    int fd_;
};

std::string linkTarget(const std::string& path) {
    std::string target(PATH_MAX, '\0');
    ssize_t n = readlink(path.c_str(), target.data(), target.size());
    target.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return target;
}

} // namespace

const ConfigFileKind AliasesFileKind{str::AliasesFileUnreadable, str::AliasesFileLinkUnread,
                                     str::AliasesFileTooLarge,   str::AliasesFileLineTooLong,
                                     str::AliasesFileUnwritable, str::AliasesFileLinkUnwritten};
const ConfigFileKind SettingsFileKind{str::SettingsFileUnreadable, str::SettingsFileLinkUnread,
                                      str::SettingsFileTooLarge,   str::SettingsFileLineTooLong,
                                      str::SettingsFileUnwritable, str::SettingsFileLinkUnwritten};

std::optional<IniFile> IniFile::load(const std::string& path, const ConfigFileKind& kind) {
    // Non-blocking open: a FIFO in the file's place must not hang the caller.
    Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        const int error = errno;
        struct stat st {};
        if (error == ENOENT && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            fail(path, kind.readDangling, linkTarget(path));
        if (error == ENOENT) return std::nullopt;
        fail(path, kind.unreadable, std::strerror(error));
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) fail(path, kind.unreadable, std::strerror(errno));
    if (S_ISDIR(st.st_mode)) fail(path, kind.unreadable, std::strerror(EISDIR));
    const std::string limit = std::to_string(MaxFileSize >> 20);
    if (S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) > MaxFileSize)
        fail(path, kind.tooLarge, limit);
    fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);

    std::string text;
    if (S_ISREG(st.st_mode)) text.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(path, kind.unreadable, std::strerror(errno));
        }
        if (text.size() + static_cast<std::size_t>(n) > MaxFileSize)
            fail(path, kind.tooLarge, limit);
        text.append(buffer, static_cast<std::size_t>(n));
    }
    std::size_t line = 1;
    for (std::size_t begin = 0; begin < text.size(); ++line) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        if (end - begin > MaxLineLength) fail(path, kind.lineTooLong, std::to_string(line));
        begin = end + 1;
    }
    return parse(text);
}

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    if (text.substr(0, ByteOrderMark.size()) == ByteOrderMark) {
        ini.byteOrderMark_ = true;
        text.remove_prefix(ByteOrderMark.size());
    }
    ini.text_ = std::string(text);
    const std::size_t firstBreak = text.find('\n');
    if (firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r')
        ini.lineEnd_ = "\r\n";
    return ini;
}

bool IniFile::sameFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (folded(a[i]) != folded(b[i])) return false;
    return true;
}

// One sweep over the text, without copying any of it: a lookup costs the same per byte however
// many sections the file has, and the few lookups a file gets never need an index.
IniFile::Found IniFile::find(std::string_view section, std::string_view name) const {
    Found found;
    const std::string_view text = text_;
    bool inSection = section.empty(); // values before the first header belong to ""
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::size_t contentEnd = end;
        if (contentEnd > pos && text[contentEnd - 1] == '\r') --contentEnd;
        std::size_t b = pos;
        std::size_t e = end;
        pos = end + 1;
        while (b < e && isBlank(text[b]))
            ++b;
        while (e > b && isBlank(text[e - 1]))
            --e;
        if (b == e || text[b] == ';' || text[b] == '#') continue;
        if (text[b] == '[' && text[e - 1] == ']' && e - b >= 2) {
            std::size_t nb = b + 1;
            std::size_t ne = e - 1;
            while (nb < ne && isBlank(text[nb]))
                ++nb;
            while (ne > nb && isBlank(text[ne - 1]))
                --ne;
            inSection = sameFolded(text.substr(nb, ne - nb), section);
            if (inSection) found.sectionEnd = contentEnd;
            continue;
        }
        if (!inSection) continue;
        std::size_t eq = text.substr(b, e - b).find('=');
        if (eq == std::string_view::npos) continue;
        eq += b;
        found.sectionEnd = contentEnd;
        if (found.entry) continue;
        std::size_t ne = eq;
        while (ne > b && isBlank(text[ne - 1]))
            --ne;
        if (!sameFolded(text.substr(b, ne - b), name)) continue;
        std::size_t vb = eq + 1;
        while (vb < e && isBlank(text[vb]))
            ++vb;
        found.entry = Entry{vb, e, eq + 1, contentEnd};
    }
    return found;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view name) const {
    const Found found = find(section, name);
    if (!found.entry) return std::nullopt;
    return text_.substr(found.entry->valueBegin, found.entry->valueEnd - found.entry->valueBegin);
}

bool IniFile::hasSection(std::string_view section) const {
    return find(section, {}).sectionEnd.has_value();
}

bool IniFile::set(std::string_view section, std::string_view name, std::string_view value) {
    if (!keepsAsWritten(section) || !keepsAsWritten(name) || !keepsAsWritten(value)) return false;
    // A name that begins with the byte-order mark's bytes would lose them when first in the file.
    if (name.empty() || name.find('=') != std::string_view::npos ||
        std::string_view(";#[").find(name.front()) != std::string_view::npos ||
        name.substr(0, ByteOrderMark.size()) == ByteOrderMark)
        return false;

    const Found found = find(section, name);
    const std::string line = std::string(name) + "=" + std::string(value);
    if (found.entry) {
        const Entry& entry = *found.entry;
        if (std::string_view(text_).substr(entry.valueBegin, entry.valueEnd - entry.valueBegin) ==
            value)
            return true; // the file stays byte for byte as it is
        if (entry.valueBegin < entry.valueEnd) {
            text_.replace(entry.valueBegin, entry.valueEnd - entry.valueBegin, value);
        } else {
            // An empty value: written where it was missing, keeping a blank after '=' if the
            // line had one.
            const bool blank =
                entry.afterEquals < entry.lineEnd && isBlank(text_[entry.afterEquals]);
            // Appended, not "literal + string": GCC 12 warns falsely of overlapping copies there.
            std::string written(blank ? " " : "");
            written.append(value);
            text_.replace(entry.afterEquals, entry.lineEnd - entry.afterEquals, written);
        }
    } else if (found.sectionEnd) {
        text_.insert(*found.sectionEnd, lineEnd_ + line);
    } else if (section.empty()) {
        // Values outside any section belong before the first header.
        text_.insert(0, line + lineEnd_);
    } else {
        if (!text_.empty()) {
            if (text_.back() != '\n') text_ += lineEnd_;
            const std::size_t lastLine = text_.find_last_of('\n', text_.size() - 2);
            const std::size_t from = lastLine == std::string::npos ? 0 : lastLine + 1;
            bool blankLast = true;
            for (std::size_t i = from; i < text_.size(); ++i)
                blankLast = blankLast && isBlank(text_[i]);
            if (!blankLast) text_ += lineEnd_;
        }
        text_.append("[").append(section).append("]").append(lineEnd_);
        text_.append(line).append(lineEnd_);
    }
    return true;
}

std::string IniFile::serialise() const {
    return byteOrderMark_ ? std::string(ByteOrderMark) + text_ : text_;
}

void IniFile::save(const std::string& path, const ConfigFileKind& kind) const {
    // Through a link to the file it names, so the link (a shared set of dotfiles, say) stays.
    std::string target = path;
    struct stat linkStat {};
    if (lstat(path.c_str(), &linkStat) == 0 && S_ISLNK(linkStat.st_mode)) {
        char* real = realpath(path.c_str(), nullptr);
        if (!real) fail(path, kind.writeDangling, linkTarget(path));
        target = real;
        std::free(real);
    }
    struct stat old {};
    const bool existed = stat(target.c_str(), &old) == 0;

    static std::atomic<unsigned> serial{0};
    std::string tmp;
    int rawFd = -1;
    for (int attempt = 0; attempt < 100 && rawFd < 0; ++attempt) {
        tmp = target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(serial++);
        rawFd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (rawFd < 0 && errno != EEXIST) break;
    }
    if (rawFd < 0) fail(path, kind.unwritable, std::strerror(errno));
    Descriptor fd(rawFd);
    auto abandon = [&](int error) {
        unlink(tmp.c_str());
        fail(path, kind.unwritable, std::strerror(error));
    };
    if (existed) {
        // The new file is the old one to anyone who looks: same permissions, same owner (when
        // we may give it; an administrator writing a user's file).
        if (fchmod(fd.get(), old.st_mode & 07777) != 0) abandon(errno);
        if (old.st_uid != geteuid() || old.st_gid != getegid())
            (void)!fchown(fd.get(), old.st_uid, old.st_gid);
    }
    const std::string content = serialise();
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = write(fd.get(), content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) abandon(n < 0 ? errno : EIO);
        written += static_cast<std::size_t>(n);
    }
    if (fsync(fd.get()) != 0) abandon(errno);
    if (fd.close() != 0) abandon(errno);
    if (rename(tmp.c_str(), target.c_str()) != 0) abandon(errno);
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : target.substr(0, slash);
    Descriptor dirFd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) fsync(dirFd.get());
}

} // namespace vektrin
