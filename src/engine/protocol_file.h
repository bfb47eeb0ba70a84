#pragma once
// Reading protocol lines back: the date a line begins with, and rewriting the log with only some
// of its lines so that a failure at any point leaves the old log whole.

#include "engine/protocol_log.h"
#include "platform/date_time.h"
#include "platform/operator_text.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

// Reads the date token a protocol line starts with, in the short date format that wrote it
// ("dd.mm.yyyy", "mm/dd/yy", "d.m.yyyy", ...). Compiled once, used for every line of a file.
class ProtocolDateReader {
  public:
    // Two-digit years fall into [pivotYear - 50, pivotYear + 49].
    ProtocolDateReader(std::string_view shortDateFormat, int pivotYear);

    // The line's date as a day count; nullopt when the line does not begin with a date in the
    // format, followed by a blank or the end of the line.
    std::optional<DateTime> read(std::string_view line) const;
    // The same with 0 for a line without a date.
    DateTime operator()(std::string_view line) const { return read(line).value_or(0); }

  private:
    struct Item {
        char kind;     // 'd', 'm', 'y', or 0 for a literal character
        int minDigits; // of a number
        int maxDigits;
        char literal;
    };
    std::vector<Item> items_;
    int pivotYear_;
};

// Reads the date a protocol line begins with in whichever short date format wrote it: one log
// outlives changes of locale (the desktop session, ssh, a service each bring their own). The
// current format is tried first, then the others in their order; the first that reads the line's
// leading token gives its date, so a token that only one format reads goes to that format and one
// that several read differently goes to the current format (else to the earliest in the list).
class ProtocolLineDates {
  public:
    // The others are the formats this machine's locales write (platformShortDateFormats()).
    ProtocolLineDates(std::string_view currentFormat, int pivotYear);
    ProtocolLineDates(std::string_view currentFormat, int pivotYear,
                      const std::vector<std::string>& otherFormats);

    // nullopt when no format reads the line's leading token.
    std::optional<DateTime> read(std::string_view line) const;

  private:
    std::vector<ProtocolDateReader> readers_;
};

// "Vektrin.tmp" beside the log.
std::string protocolTmpPath(const std::string& logPath);

// The points of a rewrite after which a failure can strike; tests hook in after each.
enum class RewriteStep {
    StaleTmpRemoved,
    LogOpened,
    TmpCreated,
    LinesCopied,
    TmpSynced,
    Renamed,
};

struct RewriteResult {
    bool replaced = false; // the log path now names the rewritten file
    UniqueFd log;          // when replaced: the rewritten file, open for appending and locked
    OperatorText error;    // no format when the rewrite went through
    long long kept = 0;
    long long dropped = 0;
};

// Streams the lines of logPath that keep accepts into the tmp file beside it, makes it durable
// and renames it over the log. Before the rename nothing of the log is touched: a failure
// removes the tmp file and leaves the log as it was. A stale tmp file is removed first. A last
// line without its line end gets one, so the next appended line does not run into it.
// The tmp file is locked as soon as it is created and stays open, so the file that takes the
// log's name is locked from that moment on; the caller appends through result.log.
RewriteResult rewriteProtocolFile(const std::string& logPath,
                                  const std::function<bool(std::string_view line)>& keep);

// Test seam: called after each step of every rewrite; an exception it throws fails that step.
void setRewriteStepHook(std::function<void(RewriteStep)> hook);

} // namespace vektrin
