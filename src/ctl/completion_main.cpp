// vektrinctl_completion SHELL TEMPLATE OUTPUT: vektrinctl's completion for bash, zsh or fish. The
// commands, their options, the commands that take a task and the words of the coded values come
// from vektrinctl's own parser and table of task settings, so the three shells cannot disagree
// with the program or with each other.

#include "ctl/command.h"
#include "ctl/fields.h"
#include "engine/task_fields.h"

#include <CLI/CLI.hpp>

#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using vektrin::ctl::TaskSetting;

namespace {

bool all(const CLI::App*) {
    return true;
}

// One command as the parser has it: "add", or "resource add" for a member of a group.
struct Shape {
    std::string path;
    std::string description;
    std::vector<std::string> options; // long names, as typed
    std::vector<std::string> members; // of a group
    bool takesTask = false;
};

// The options every command takes; --version before a command only.
const char* const GlobalOptions = "--aliases --at --trace --help";

Shape shapeOf(const CLI::App& cmd, const std::string& path) {
    Shape shape{path, cmd.get_description(), {}, {}, false};
    for (const CLI::Option* option : cmd.get_options()) {
        if (option->get_name() == "TASK") shape.takesTask = true;
        if (option == cmd.get_help_ptr()) continue;
        for (const std::string& name : option->get_lnames())
            shape.options.push_back("--" + name);
    }
    for (const CLI::App* member : cmd.get_subcommands(all))
        shape.members.push_back(member->get_name());
    return shape;
}

// Every command, a group before its members, and help.
std::vector<Shape> commandShapes() {
    CLI::App app;
    vektrin::ctl::Context context;
    std::function<int()> chosen;
    vektrin::ctl::declareCommands(app, vektrin::ctl::allCommands(), context, chosen);
    std::vector<Shape> shapes;
    for (const CLI::App* cmd : app.get_subcommands(all)) {
        shapes.push_back(shapeOf(*cmd, cmd->get_name()));
        for (const CLI::App* member : cmd->get_subcommands(all))
            shapes.push_back(shapeOf(*member, cmd->get_name() + " " + member->get_name()));
    }
    shapes.push_back({"help", "Print the help of a command", {}, {}, false});
    return shapes;
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words)
        out += (out.empty() ? "" : " ") + w;
    return out;
}

// Single-quoted for any of the three shells.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The coded options and their words: --window normal hidden minimized maximized, ...
std::map<std::string, std::vector<std::string>> valueWords() {
    std::map<std::string, std::vector<std::string>> words;
    for (const TaskSetting& t : vektrin::ctl::taskSettingTable())
        if (t.word)
            for (std::int64_t i = 0; !t.word(i).empty(); ++i)
                words["--" + std::string(t.key)].emplace_back(t.word(i));
    return words;
}

// The marks of a shell's template and what each stands for.
using Marks = std::map<std::string, std::string>;

Marks bashMarks(const std::vector<Shape>& shapes) {
    std::string commands, options, groups, tasks, values;
    for (const Shape& s : shapes) {
        if (s.path.find(' ') == std::string::npos)
            commands += (commands.empty() ? "" : " ") + s.path;
        if (!s.members.empty())
            groups += "    [" + s.path + "]=" + quoted(joined(s.members)) + "\n";
        else
            options += "    [" + quoted(s.path) + "]=" + quoted(joined(s.options)) + "\n";
        if (s.takesTask) tasks += " " + s.path;
    }
    for (const auto& [option, words] : valueWords())
        values += "        " + option + ")\n            COMPREPLY=($(compgen -W " +
                  quoted(joined(words)) + " -- \"$cur\"))\n            return\n            ;;\n";
    return {{"@COMMANDS@", commands}, {"@GLOBALS@", GlobalOptions},     {"@OPTIONS@", options},
            {"@GROUPS@", groups},     {"@TASK_COMMANDS@", tasks + " "}, {"@VALUE_WORDS@", values}};
}

Marks zshMarks(const std::vector<Shape>& shapes) {
    std::string commands, options, groups, tasks, values;
    for (const Shape& s : shapes) {
        if (s.path.find(' ') == std::string::npos)
            commands += "        " + quoted(s.path + ":" + s.description) + "\n";
        if (!s.members.empty())
            groups += "        " + quoted(s.path) + " " + quoted(joined(s.members)) + "\n";
        else
            options += "        " + quoted(s.path) + " " + quoted(joined(s.options)) + "\n";
        if (s.takesTask) tasks += " " + s.path;
    }
    for (const auto& [option, words] : valueWords())
        values += "        " + option + ") compadd -- " + joined(words) + "; return ;;\n";
    return {{"@COMMANDS@", commands}, {"@GLOBALS@", GlobalOptions},     {"@OPTIONS@", options},
            {"@GROUPS@", groups},     {"@TASK_COMMANDS@", tasks + " "}, {"@VALUE_WORDS@", values}};
}

Marks fishMarks(const std::vector<Shape>& shapes) {
    std::map<std::string, std::vector<std::string>> words = valueWords();
    for (int day = 0; !vektrin::fields::weekDayWord(day).empty(); ++day)
        words["--weekly"].emplace_back(vektrin::fields::weekDayWord(day));
    std::string lines;
    const auto complete = [&](const std::string& at, const std::string& rest) {
        lines += "complete -c vektrinctl -n " + quoted("__vektrinctl_at " + at) + " " + rest + "\n";
    };
    for (const Shape& s : shapes) {
        const auto blank = s.path.find(' ');
        complete(blank == std::string::npos ? "" : s.path.substr(0, blank),
                 "-a " + quoted(s.path.substr(blank == std::string::npos ? 0 : blank + 1)) +
                     " -d " + quoted(s.description));
        for (const std::string& option : s.options) {
            std::string takes;
            if (const auto coded = words.find(option); coded != words.end())
                takes = " -x -a " + quoted(joined(coded->second));
            else if (option == "--log" || option == "--output" || option == "--dir")
                takes = " -r -F";
            complete(s.path, "-l " + option.substr(2) + takes);
        }
        if (s.takesTask) complete(s.path, "-a '(__vektrinctl_tasks)'");
        if (s.path == "help")
            complete("help", "-a " + quoted(joined([&] {
                                 std::vector<std::string> top;
                                 for (const Shape& t : shapes)
                                     if (t.path.find(' ') == std::string::npos)
                                         top.push_back(t.path);
                                 return top;
                             }())));
    }
    return {{"@COMPLETIONS@", lines}};
}

} // namespace

int main(int argc, char** argv) {
    const std::map<std::string, Marks (*)(const std::vector<Shape>&)> shells = {
        {"bash", bashMarks}, {"zsh", zshMarks}, {"fish", fishMarks}};
    const auto shell = argc == 4 ? shells.find(argv[1]) : shells.end();
    std::ifstream in(argc == 4 ? argv[2] : "");
    if (shell == shells.end() || !in) {
        std::cerr << "usage: vektrinctl_completion bash|zsh|fish TEMPLATE OUTPUT\n";
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string script = text.str();
    for (const auto& [mark, by] : shell->second(commandShapes()))
        for (auto at = script.find(mark); at != std::string::npos; at = script.find(mark, at))
            script.replace(at, mark.size(), by);
    // A mark of the template that nothing fills would break the script quietly.
    if (std::smatch left; std::regex_search(script, left, std::regex("@[A-Z_]+@"))) {
        std::cerr << "vektrinctl_completion: nothing fills " << left.str() << " of " << argv[2]
                  << '\n';
        return 1;
    }
    std::ofstream out(argv[3], std::ios::trunc);
    out << script;
    out.close();
    if (!out) std::cerr << "vektrinctl_completion: cannot write " << argv[3] << '\n';
    return out ? 0 : 1;
}
