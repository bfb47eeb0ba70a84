// vektrinctl_completion TEMPLATE OUTPUT: vektrinctl's bash completion, with the options of add and
// set and the words of their coded values from the table of task settings.

#include "ctl/fields.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>

using vektrin::ctl::TaskSetting;

namespace {

// As add (change false) or set declares them, in the order edit writes the settings.
std::string options(bool change) {
    std::string out;
    bool window = false;
    for (const TaskSetting& t : vektrin::ctl::taskSettingTable()) {
        std::string words = "--" + std::string(t.key);
        if (t.is(TaskSetting::Window))
            words = std::exchange(window, true) ? "" : "$kinds";
        else if (t.is(TaskSetting::SetOption) && !change)
            words.clear();
        else if (t.is(TaskSetting::Switch) && (change || t.addHelp.empty()))
            words += " --no-" + std::string(t.key);
        if (!words.empty()) out += (out.empty() ? "" : " ") + words;
    }
    return out;
}

// The cases of an option before the word being completed.
std::string valueWords() {
    std::string out;
    for (const TaskSetting& t : vektrin::ctl::taskSettingTable()) {
        if (!t.word) continue;
        std::string words;
        for (std::int64_t i = 0; !t.word(i).empty(); ++i)
            words += (i ? " " : "") + std::string(t.word(i));
        out += (out.empty() ? "        --" : "\n        --") + std::string(t.key) +
               ")\n            COMPREPLY=($(compgen -W \"" + words +
               "\" -- \"$cur\"))\n            return\n            ;;";
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    std::ifstream in(argc == 3 ? argv[1] : "");
    std::stringstream text;
    text << in.rdbuf();
    std::string script = text.str();
    for (const auto& [mark, by] :
         {std::pair{"@ADD_OPTIONS@", options(false)}, std::pair{"@SET_OPTIONS@", options(true)},
          std::pair{"@VALUE_WORDS@", valueWords()}}) {
        const auto at = script.find(mark);
        if (at == std::string::npos) {
            std::cerr << "usage: vektrinctl_completion TEMPLATE OUTPUT (a template with " << mark
                      << ")\n";
            return 1;
        }
        script.replace(at, std::string_view(mark).size(), by);
    }
    std::ofstream out(argv[2], std::ios::trunc);
    out << script;
    out.close();
    if (!out) std::cerr << "vektrinctl_completion: cannot write " << argv[2] << '\n';
    return out ? 0 : 1;
}
