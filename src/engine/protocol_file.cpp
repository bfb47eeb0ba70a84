#include "engine/protocol_file.h"

#include "platform/regional_locales.h"
#include "platform/strings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {

// ------------------------------------------------------------------ line dates

ProtocolDateReader::ProtocolDateReader(std::string_view format, int pivotYear)
    : pivotYear_(pivotYear) {
    for (size_t i = 0; i < format.size();) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i])));
        if (c != 'd' && c != 'm' && c != 'y') {
            items_.push_back({0, 0, 0, format[i++]});
            continue;
        }
        size_t n = 0;
        while (i + n < format.size() &&
               std::tolower(static_cast<unsigned char>(format[i + n])) == c)
            ++n;
        i += n;
        // As the formatter writes them: one letter is the bare number, two are zero-padded, and
        // three or more year letters are the full four-digit year.
        if (c == 'y')
            items_.push_back(n >= 3 ? Item{c, 4, 4, 0} : Item{c, 2, 2, 0});
        else
            items_.push_back(n >= 2 ? Item{c, 2, 2, 0} : Item{c, 1, 2, 0});
    }
}

std::optional<DateTime> ProtocolDateReader::read(std::string_view line) const {
    int day = -1, month = -1, year = -1, yearDigits = 0;
    size_t p = 0;
    for (const Item& item : items_) {
        if (item.kind == 0) {
            if (p >= line.size() || line[p] != item.literal) return std::nullopt;
            ++p;
            continue;
        }
        int value = 0, digits = 0;
        while (digits < item.maxDigits && p < line.size() &&
               std::isdigit(static_cast<unsigned char>(line[p]))) {
            value = value * 10 + (line[p] - '0');
            ++digits;
            ++p;
        }
        if (digits < item.minDigits) return std::nullopt;
        if (item.kind == 'd')
            day = value;
        else if (item.kind == 'm')
            month = value;
        else {
            year = value;
            yearDigits = digits;
        }
    }
    if (p < line.size() && line[p] != ' ' && line[p] != '\t' && line[p] != '\r' && line[p] != '\n')
        return std::nullopt;
    if (day < 0 || month < 0 || year < 0) return std::nullopt;
    if (yearDigits <= 2) {
        // The century that puts the year nearest the pivot, as dates are read everywhere else.
        const int low = pivotYear_ - 50;
        year += (low / 100) * 100;
        if (year < low) year += 100;
    }
    return tryEncodeDate(year, month, day);
}

ProtocolLineDates::ProtocolLineDates(std::string_view currentFormat, int pivotYear)
    : ProtocolLineDates(currentFormat, pivotYear, platformShortDateFormats()) {}

ProtocolLineDates::ProtocolLineDates(std::string_view currentFormat, int pivotYear,
                                     const std::vector<std::string>& otherFormats) {
    readers_.emplace_back(currentFormat, pivotYear);
    std::vector<std::string_view> seen{currentFormat};
    for (const std::string& format : otherFormats) {
        if (std::find(seen.begin(), seen.end(), format) != seen.end()) continue;
        seen.push_back(format);
        readers_.emplace_back(format, pivotYear);
    }
}

std::optional<DateTime> ProtocolLineDates::read(std::string_view line) const {
    for (const ProtocolDateReader& reader : readers_)
        if (const auto date = reader.read(line)) return date;
    return std::nullopt;
}

// ------------------------------------------------------------------ rewriting the log

namespace {

std::function<void(RewriteStep)>& stepHook() {
    static std::function<void(RewriteStep)> hook;
    return hook;
}

[[noreturn]] void fail(std::string_view format, const std::string& path) {
    throw OperatorError({format, {path, std::strerror(errno)}});
}

void writeAll(int fd, const char* p, size_t n, const std::string& path) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            fail(str::ProtocolCannotWrite, path);
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void afterStep(RewriteStep step) {
    if (stepHook()) stepHook()(step);
}

} // namespace

std::string protocolTmpPath(const std::string& logPath) {
    const auto slash = logPath.rfind('/');
    return (slash == std::string::npos ? std::string() : logPath.substr(0, slash + 1)) +
           "Vektrin.tmp";
}

void setRewriteStepHook(std::function<void(RewriteStep)> hook) {
    stepHook() = std::move(hook);
}

RewriteResult rewriteProtocolFile(const std::string& logPath,
                                  const std::function<bool(std::string_view line)>& keep) {
    RewriteResult result;
    const std::string tmpPath = protocolTmpPath(logPath);
    bool tmpCreated = false;
    try {
        // A tmp file left by an earlier failure holds nothing the log lacks: the log is only
        // ever replaced by a completed tmp file.
        if (::unlink(tmpPath.c_str()) != 0 && errno != ENOENT)
            fail(str::ProtocolCannotRemove, tmpPath);
        afterStep(RewriteStep::StaleTmpRemoved);

        UniqueFd in(::open(logPath.c_str(), O_RDONLY | O_CLOEXEC));
        if (in.get() < 0) fail(str::ProtocolCannotRead, logPath);
        struct stat st {};
        if (::fstat(in.get(), &st) != 0) fail(str::ProtocolCannotRead, logPath);
        afterStep(RewriteStep::LogOpened);

        // Opened for appending, as the log is: after the rename the scheduler appends through
        // this descriptor. The lock is taken before the file gets the log's name, so there is
        // no moment in which the log is there to be taken by a second scheduler.
        UniqueFd out(::open(tmpPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC,
                            st.st_mode & 07777));
        if (out.get() < 0) fail(str::ProtocolCannotCreate, tmpPath);
        tmpCreated = true;
        // The log keeps its mode, whatever the umask.
        if (::fchmod(out.get(), st.st_mode & 07777) != 0) fail(str::ProtocolCannotCreate, tmpPath);
        if (flock(out.get(), LOCK_EX | LOCK_NB) != 0) fail(str::ProtocolCannotLock, tmpPath);
        afterStep(RewriteStep::TmpCreated);

        constexpr size_t Chunk = 1 << 16;
        std::string carry; // the unfinished line at the end of the last chunk
        std::string pending;
        std::vector<char> buffer(Chunk);
        auto take = [&](std::string_view raw) {
            std::string_view text = raw;
            if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
            if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
            if (!keep(text)) {
                ++result.dropped;
                return;
            }
            ++result.kept;
            pending.append(raw);
            if (raw.empty() || raw.back() != '\n') pending += "\r\n";
            if (pending.size() >= Chunk) {
                writeAll(out.get(), pending.data(), pending.size(), tmpPath);
                pending.clear();
            }
        };
        for (;;) {
            const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                fail(str::ProtocolCannotRead, logPath);
            }
            if (n == 0) break;
            std::string_view chunk(buffer.data(), static_cast<size_t>(n));
            while (!chunk.empty()) {
                const auto nl = chunk.find('\n');
                if (nl == std::string_view::npos) {
                    carry.append(chunk);
                    break;
                }
                if (carry.empty()) {
                    take(chunk.substr(0, nl + 1));
                } else {
                    carry.append(chunk.substr(0, nl + 1));
                    take(carry);
                    carry.clear();
                }
                chunk.remove_prefix(nl + 1);
            }
        }
        if (!carry.empty()) take(carry);
        writeAll(out.get(), pending.data(), pending.size(), tmpPath);
        afterStep(RewriteStep::LinesCopied);

        // The descriptor stays open, so a write error that close would report must show here.
        if (::fsync(out.get()) != 0) fail(str::ProtocolCannotWrite, tmpPath);
        afterStep(RewriteStep::TmpSynced);

        if (::rename(tmpPath.c_str(), logPath.c_str()) != 0)
            fail(str::ProtocolCannotReplace, logPath);
        result.replaced = true;
        result.log = std::move(out);
        tmpCreated = false;
        // The rename itself must survive a crash too; a failure here changes nothing we could
        // undo, so it is not reported.
        UniqueFd dir(::open(directoryOf(logPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() >= 0) ::fsync(dir.get());
        afterStep(RewriteStep::Renamed);
    } catch (const OperatorError& e) {
        result.error = e.text();
        if (tmpCreated) ::unlink(tmpPath.c_str());
    } catch (const std::exception& e) {
        result.error = {"%s", {e.what()}};
        if (tmpCreated) ::unlink(tmpPath.c_str());
    }
    return result;
}

} // namespace vektrin
