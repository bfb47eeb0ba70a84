#include "platform/ini_file.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace vektrin {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

} // namespace

std::optional<IniFile> IniFile::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return parse(s.str());
}

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    std::string section;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = std::string(trim(line.substr(1, line.size() - 2)));
            if (!ini.hasSection(section)) ini.sections_.push_back(section);
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        ini.entries_.push_back({section, std::string(trim(line.substr(0, eq))),
                                std::string(trim(line.substr(eq + 1)))});
    }
    return ini;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view name) const {
    for (const auto& e : entries_)
        if (e.section == section && e.name == name) return e.value;
    return std::nullopt;
}

bool IniFile::hasSection(std::string_view section) const {
    for (const auto& s : sections_)
        if (s == section) return true;
    return false;
}

void IniFile::set(std::string_view section, std::string_view name, std::string_view value) {
    for (auto& e : entries_)
        if (e.section == section && e.name == name) {
            e.value = value;
            return;
        }
    if (!hasSection(section)) sections_.emplace_back(section);
    entries_.push_back({std::string(section), std::string(name), std::string(value)});
}

std::string IniFile::serialise() const {
    std::string out;
    for (const auto& s : sections_) {
        if (!out.empty()) out += "\n";
        out += "[" + s + "]\n";
        for (const auto& e : entries_)
            if (e.section == s) out += e.name + "=" + e.value + "\n";
    }
    return out;
}

bool IniFile::save(const std::string& path) const {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << serialise();
        out.flush();
        if (!out) return false;
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace vektrin
