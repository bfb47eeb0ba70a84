#include "engine/orlimb.h"

#include "engine/scheduler.h"
#include "platform/aliases.h"
#include "platform/codepage.h"
#include "platform/strings.h"
#include "platform/text.h"

#include <fstream>

namespace vektrin {
namespace {

int columnNumber(const std::string& line, size_t from, size_t count) {
    const std::string part = from < line.size() ? line.substr(from, count) : std::string();
    if (part.empty()) throw OrlimbDateError("'' is not a valid integer value");
    int v = 0;
    for (char c : part) {
        if (c < '0' || c > '9')
            throw OrlimbDateError("'" + part + "' is not a valid integer value");
        v = v * 10 + (c - '0');
    }
    return v;
}

DateTime columnsDate(const std::string& line, size_t from) {
    const int y = columnNumber(line, from, 4);
    const int m = columnNumber(line, from + 4, 2);
    const int d = columnNumber(line, from + 6, 2);
    auto date = tryEncodeDate(y, m, d);
    if (!date) throw OrlimbDateError(std::string(str::InvalidDateEncode));
    return *date;
}

} // namespace

OrlimbKey ReadOrlimbKey(const std::string& fileName, const std::string& key) {
    OrlimbKey result;
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        result.fileOpened = false;
        return result;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == ';') continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (oemToUtf8(std::string(text::trimmedOfControls(std::string_view(line).substr(0, eq)))) !=
            key)
            continue;
        result.found = true;
        result.value =
            oemToUtf8(std::string(text::trimmedOfControls(std::string_view(line).substr(eq + 1))));
        break;
    }
    return result;
}

std::string ResolveOrlimbPath(const std::string& base, const std::string& path) {
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';
    if (!p.empty() && p.front() == '/') return p;
    std::string b = base;
    while (b.size() > 1 && b.back() == '/')
        b.pop_back();
    return b + "/" + p;
}

OrlimbPeriod parseOrlimbDates(const std::string& line) {
    OrlimbPeriod period;
    period.begin = columnsDate(line, 0);
    if (line.size() >= 16 && line.compare(8, 8, "        ") == 0)
        period.end = *tryEncodeDate(1997, 12, 31);
    else
        period.end = columnsDate(line, 8);
    return period;
}

bool Scheduler::LoadOrlimbSettings() {
    // An aliases file that cannot be read ends the pass with its ConfigFileError: whether the
    // period's dates or today's apply is then unknown, and a guess would launch with wrong ones.
    auto dir = config_.aliasesFile.empty() ? lookupAlias("Orlimb")
                                           : lookupAlias("Orlimb", config_.aliasesFile);
    if (!dir) return false;
    const std::string ini = *dir + "/Orlimb.ini";
    auto readKey = [&](const char* key, std::string_view missingMessage) {
        OrlimbKey k = ReadOrlimbKey(ini, key);
        if (!k.fileOpened)
            port_.showMessage(std::string(str::OrlimbCannotOpen) + ini, MessageKind::Error);
        if (!k.found) {
            port_.showMessage(missingMessage, MessageKind::Error);
            throw FatalExit(1);
        }
        return k.value;
    };
    const std::string dbfPath = readKey("dbf_path", str::OrlimbNoDbfPath);
    const std::string dateFile = ResolveOrlimbPath(*dir, dbfPath) + "/Orlimb.reg";
    std::ifstream in(dateFile, std::ios::binary);
    if (!in) {
        port_.showMessage(std::string(str::OrlimbCannotOpenFile) + dateFile, MessageKind::Error);
        throw FatalExit(1);
    }
    std::string line;
    std::getline(in, line);
    in.close();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const OrlimbPeriod period = parseOrlimbDates(line);
    PeriodBegin = period.begin;
    PeriodEnd = period.end;
    readKey("history_dbf", str::OrlimbNoHistoryDbf);
    readKey("ServiceData", str::OrlimbNoServiceData);
    readKey("banks_list_path", str::OrlimbNoBanksListPath);
    ReadOrlimbKey(ini, "Наименование_филиала");
    return true;
}

} // namespace vektrin
