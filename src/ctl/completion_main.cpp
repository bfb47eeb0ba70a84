// vektrinctl_completion TEMPLATE OUTPUT: vektrinctl's bash completion, the options of add and set
// and the words of their coded values put in from the table of task settings.

#include "ctl/fields.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

using vektrin::ctl::TaskSetting;

namespace {

// As add (change false) or set declares them, in the order edit writes the settings.
std::string options(bool change) {
    std::string out;
    bool window = false;
    for (const TaskSetting& t : vektrin::ctl::taskSettingTable()) {
        const std::string key(t.key);
        std::string words = "--" + key;
        if (t.is(TaskSetting::Window))
            words = std::exchange(window, true) ? "" : "$kinds";
        else if (t.is(TaskSetting::SetOption) && !change)
            words.clear();
        else if (t.is(TaskSetting::Switch) && (change || t.addHelp.empty()))
            words += " --no-" + key;
        if (!words.empty()) out += (out.empty() ? "" : " ") + words;
    }
    return out;
}

// A case of the option before the word being completed.
std::string valueWords() {
    std::string out;
    for (const TaskSetting& t : vektrin::ctl::taskSettingTable()) {
        if (!t.word) continue;
        std::string words;
        for (std::int64_t i = 0; !t.word(i).empty(); ++i)
            words += (i ? " " : "") + std::string(t.word(i));
        out += (out.empty() ? "" : "\n") + ("        --" + std::string(t.key) + ")\n") +
               "            COMPREPLY=($(compgen -W \"" + words + "\" -- \"$cur\"))\n" +
               "            return\n            ;;";
    }
    return out;
}

void replace(std::string& text, const std::string& mark, const std::string& by) {
    const auto at = text.find(mark);
    if (at == std::string::npos) throw std::runtime_error("no " + mark + " in the template");
    text.replace(at, mark.size(), by);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: vektrinctl_completion TEMPLATE OUTPUT\n";
        return 64;
    }
    std::ifstream in(argv[1]);
    std::stringstream text;
    text << in.rdbuf();
    std::string script = text.str();
    try {
        replace(script, "@ADD_OPTIONS@", options(false));
        replace(script, "@SET_OPTIONS@", options(true));
        replace(script, "@VALUE_WORDS@", valueWords());
    } catch (const std::exception& e) {
        std::cerr << argv[1] << ": " << e.what() << '\n';
        return 1;
    }
    std::ofstream out(argv[2], std::ios::trunc);
    out << script;
    out.close();
    if (in.bad() || !out) {
        std::cerr << "vektrinctl_completion: cannot read " << argv[1] << " or write " << argv[2]
                  << '\n';
        return 1;
    }
    return 0;
}
