// edit: the task definitions in a text file for the operator's editor, and back. Only what the
// operator changed is written, in one transaction, and definition fields only.

#include "ctl/control.h"
#include "ctl/fields.h"
#include "ctl/tables.h"
#include "engine/operator_commands.h"
#include "engine/task_fields.h"
#include "platform/text.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vektrin::ctl {
namespace {

constexpr const char* ProblemMark = "# ! ";

struct Block {
    std::optional<std::int64_t> appId; // empty: [task new]
    int line = 0;
    std::vector<Setting> settings;
    std::string title; // "[task 3] backup"

    const std::string* value(const std::string& key) const {
        for (const Setting& s : settings)
            if (s.key == key) return &s.value;
        return nullptr;
    }
};

struct Parsed {
    std::vector<Block> blocks;
    std::vector<std::string> errors;
};

// A line's blanks, and the CR a file saved with DOS line ends leaves at its end.
std::string trim(std::string_view line) {
    return std::string(text::trimmed(line, " \t\r"));
}

// The head of the text, around a line on each setting.
const char* Head =
    "# Change what you like and save: only what you changed is written, all of it or nothing.\n"
    "# An error names the task, the setting and the problem, and this file opens again.\n"
    "#   [task N]       the task with AppID N; a block headed [task new] adds a task\n";
const char* Tail =
    "# A setting left out stays as it is. A task is removed with vektrinctl rm, not here.\n";

std::string header(const std::string& directory) {
    std::string text = "# The tasks of " + directory + ", as vektrinctl edit shows them.\n" + Head;
    for (const TaskSetting& t : taskSettingTable())
        if (!t.note.empty()) text += "#   " + std::string(t.note) + "\n";
    return text + Tail;
}

std::string render(TDataCtrl& dm, const std::optional<std::string>& task,
                   const std::string& directory) {
    std::string text = header(directory);
    const auto block = [&] {
        text += "\n[task " + std::to_string(dm.Table1AppID.asInteger()) + "]\n";
        for (const Setting& s : taskSettings(dm))
            text += s.key + (s.value.empty() ? " =\n" : " = " + s.value + "\n");
    };
    if (task) {
        locateTask(dm, *task);
        block();
    } else {
        for (dm.Table1.first(); !dm.Table1.eof(); dm.Table1.next())
            block();
    }
    return text;
}

Parsed parse(const std::string& text) {
    Parsed p;
    std::istringstream in(text);
    std::string raw;
    std::set<std::int64_t> seen;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        const std::string line = trim(raw);
        const std::string where = "line " + std::to_string(number) + ": ";
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            const std::string inner =
                line.back() == ']' ? text::lower(trim(line.substr(1, line.size() - 2))) : "";
            Block b;
            b.line = number;
            if (inner == "task new") {
                b.title = "[task new] at line " + std::to_string(number);
            } else if (inner.rfind("task ", 0) == 0) {
                const std::optional<int> id = fields::editInteger(inner.substr(5));
                if (!id) {
                    p.errors.push_back(where + "expected [task N] or [task new], not " + line);
                    continue;
                }
                if (!seen.insert(*id).second)
                    p.errors.push_back(where + "task " + std::to_string(*id) + " is there twice");
                b.appId = *id;
                b.title = "[task " + std::to_string(*id) + "]";
            } else {
                p.errors.push_back(where + "expected [task N] or [task new], not " + line);
                continue;
            }
            p.blocks.push_back(std::move(b));
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            p.errors.push_back(where + "expected \"setting = value\", not " + line);
            continue;
        }
        if (p.blocks.empty()) {
            p.errors.push_back(where + "a setting before the first [task N]");
            continue;
        }
        const std::string key = text::lower(trim(line.substr(0, equals)));
        Block& b = p.blocks.back();
        if (!taskSetting(key)) {
            p.errors.push_back(where + b.title + ": no setting is called \"" + key + "\"");
            continue;
        }
        if (b.value(key)) {
            p.errors.push_back(where + b.title + ": " + key + " is given twice");
            continue;
        }
        b.settings.push_back({key, trim(line.substr(equals + 1))});
    }
    return p;
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeWhole(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        throw CommandError(ExitDataError, "Cannot write " + path + ": " + std::strerror(errno));
}

// $VISUAL, $EDITOR or vi, run by the shell as crontab -e runs it ("code --wait" works).
int runEditor(const std::string& path) {
    std::string editor = "vi";
    for (const char* name : {"VISUAL", "EDITOR"})
        if (const char* value = std::getenv(name); value && *value) {
            editor = value;
            break;
        }
    const std::string script = editor + " \"$1\"";
    const char* argv[] = {"sh", "-c", script.c_str(), "sh", path.c_str(), nullptr};
    pid_t pid = 0;
    const int failed =
        posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
    if (failed != 0)
        throw CommandError(ExitDataError,
                           "Cannot start the editor " + editor + ": " + std::strerror(failed));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return 0;
    const std::string how = WIFEXITED(status)
                                ? "ended with status " + std::to_string(WEXITSTATUS(status))
                                : "was ended by signal " + std::to_string(WTERMSIG(status));
    std::cerr << "The editor (" << editor << ") " << how << ": nothing was written.\n";
    return ExitDataError;
}

bool gotoTask(TDataCtrl& dm, std::int64_t appId) {
    for (dm.Table1.first(); !dm.Table1.eof(); dm.Table1.next())
        if (dm.Table1AppID.asInteger() == appId) return true;
    return false;
}

struct Outcome {
    std::vector<std::string> problems;
    std::vector<std::string> done; // "changed task 3 (backup): StartTime", "added task 9 (x)"
};

// Checks every changed block against the tables and writes them all, or nothing.
Outcome apply(const Context& context, const std::vector<Block>& original, const Parsed& edited) {
    Outcome o;
    std::map<std::int64_t, const Block*> before;
    for (const Block& b : original)
        before[*b.appId] = &b;
    auto dm = openTables(context, OpenMode::ReadWrite);
    Transaction transaction(dm->database());
    Table& t = dm->Table1;
    struct Update {
        Table::Bookmark row;
        std::vector<Column> columns;
        std::string title;
    };
    std::vector<Update> updates;
    std::vector<std::string> added;
    for (const Block& b : edited.blocks) {
        if (!b.appId) continue;
        const auto it = before.find(*b.appId);
        if (it == before.end()) {
            o.problems.push_back(b.title + ": not one of the tasks being edited (vektrinctl edit " +
                                 std::to_string(*b.appId) + " edits it)");
            continue;
        }
        std::vector<Setting> changed;
        for (const Setting& s : b.settings) {
            const std::string* old = it->second->value(s.key);
            if (!old || *old != s.value) changed.push_back(s);
        }
        if (changed.empty()) continue;
        const std::string name = it->second->value("name") ? *it->second->value("name") : "";
        if (!gotoTask(*dm, *b.appId)) {
            o.problems.push_back(b.title + " " + name + ": the task was removed meanwhile");
            continue;
        }
        const std::string title =
            "task " + std::to_string(*b.appId) + " (" + dm->Table1AppName.asString() + ")";
        const std::vector<Column> was = storedValues(t);
        t.edit();
        const std::vector<Problem> problems = applyTaskSettings(*dm, changed, context, false);
        const std::vector<Column> now = storedValues(t);
        t.cancel();
        for (const Problem& p : problems)
            o.problems.push_back(b.title + " " + name + ", " + p.key + ": " + p.message);
        const std::vector<Column> columns = changedColumns(was, now);
        if (problems.empty() && !columns.empty())
            updates.push_back({t.getBookmark(), columns, title});
    }
    for (const Block& b : edited.blocks) {
        if (b.appId) continue;
        std::vector<Setting> settings;
        for (const Setting& s : b.settings)
            if (!s.value.empty() || taskSetting(s.key)->is(TaskSetting::Required))
                settings.push_back(s);
        for (const TaskSetting& t : taskSettingTable())
            if (t.is(TaskSetting::Required) && !b.value(std::string(t.key)))
                o.problems.push_back(b.title + ", " + std::string(t.key) + ": is missing");
        t.append();
        const std::vector<Problem> problems = applyTaskSettings(*dm, settings, context, true);
        for (const Problem& p : problems)
            o.problems.push_back(b.title + ", " + p.key + ": " + p.message);
        if (!problems.empty() || !o.problems.empty()) {
            t.cancel();
            continue;
        }
        t.post();
        added.push_back("added task " + std::to_string(dm->Table1AppID.asInteger()) + " (" +
                        dm->Table1AppName.asString() + ")");
    }
    if (!o.problems.empty()) return o; // rolled back
    for (const Update& u : updates) {
        updateColumns(dm->Table1, u.row, u.columns);
        o.done.push_back("changed " + u.title + ": " + columnNames(u.columns));
    }
    transaction.commit();
    o.done.insert(o.done.end(), added.begin(), added.end());
    return o;
}

// The operator's text with the problems of the last try above it, those of an earlier try gone.
std::string withProblems(const std::string& text, const std::vector<std::string>& problems) {
    std::string out;
    for (const std::string& p : problems)
        out += ProblemMark + p + "\n";
    std::istringstream in(text);
    std::string line;
    bool top = true;
    while (std::getline(in, line)) {
        if (top && line.rfind(ProblemMark, 0) == 0) continue;
        top = false;
        out += line + "\n";
    }
    return out;
}

bool askAgain() {
    std::cerr << "Edit again? [Y/n] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::cerr << '\n';
        return false;
    }
    answer = text::lower(trim(answer));
    return answer.empty() || answer == "y" || answer == "yes";
}

int runEdit(const Context& context, const std::optional<std::string>& task, bool retry) {
    const auto refuse = [&] {
        const std::string refusal = openEditorRefusal(context, {"Tasks"});
        if (!refusal.empty())
            throw CommandError(ExitNotFound, refusal + " (the running scheduler's editor would "
                                                       "write over the change): nothing was "
                                                       "written.");
    };
    refuse();
    std::string text;
    {
        // Opened for writing already, so that a table the operator may not change is said
        // before any typing.
        auto dm = openTables(context, OpenMode::ReadWrite);
        text = render(*dm, task, dm->database().directory());
    }
    const Parsed original = parse(text);

    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/vektrin-tasks-XXXXXX.ini";
    const int fd = mkstemps(path.data(), 4);
    if (fd < 0)
        throw CommandError(ExitDataError, "Cannot make a file for the editor in " +
                                              path.substr(0, path.rfind('/')) + ": " +
                                              std::strerror(errno));
    ::close(fd);
    bool keep = false;
    struct Remove {
        const std::string& path;
        bool& keep;
        ~Remove() {
            if (!keep) ::unlink(path.c_str());
        }
    } remove{path, keep};
    writeWhole(path, text);

    std::string shown = text;
    for (bool first = true;; first = false) {
        if (const int status = runEditor(path); status != 0) return status;
        const std::string edited = readWhole(path);
        if (first && edited == shown) {
            std::cout << "No changes were made.\n";
            return ExitOk;
        }
        Parsed parsed = parse(edited);
        std::vector<std::string> problems = parsed.errors;
        Outcome outcome;
        if (problems.empty()) {
            refuse();
            outcome = apply(context, original.blocks, parsed);
            problems = outcome.problems;
        }
        if (problems.empty()) {
            if (outcome.done.empty()) std::cout << "No changes were made.\n";
            for (const std::string& d : outcome.done)
                std::cout << char(std::toupper(static_cast<unsigned char>(d[0]))) << d.substr(1)
                          << ".\n";
            return ExitOk;
        }
        for (const std::string& p : problems)
            std::cerr << p << '\n';
        if (!retry || !askAgain()) {
            keep = true;
            std::cerr << "Nothing was written. Your text is kept in " << path << ".\n";
            return ExitDataError;
        }
        shown = withProblems(edited, problems);
        writeWhole(path, shown);
    }
}

} // namespace

std::vector<Command> editCommands() {
    struct Values {
        std::string task;
        CLI::Option* taskOption = nullptr;
        bool noRetry = false;
    };
    return {{"edit",
             "Edit the definitions of one task or of all in $VISUAL or $EDITOR (else vi); write "
             "what changed, all or nothing",
             withOptions<Values>(
                 [](CLI::App& cmd, Values& v) {
                     v.taskOption =
                         cmd.add_option("TASK", v.task, "the task's AppID or AppName; all without");
                     cmd.add_flag("--no-retry", v.noRetry,
                                  "On an error, say what is wrong and end instead of asking to "
                                  "edit again");
                 },
                 [](const Context& context, const Values& v) {
                     return runEdit(context,
                                    v.taskOption->count() ? std::optional(v.task) : std::nullopt,
                                    !v.noRetry);
                 })}};
}

} // namespace vektrin::ctl
