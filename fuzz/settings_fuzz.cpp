// The INI reader and writer of the aliases and settings files over arbitrary bytes. The input is
// split at NUL bytes: the file's text, then a section, a name and a value to set, then a section
// and a name to look up before and after.

#include "platform/ini_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool sameFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    for (int i = 0; i < 5; ++i) {
        const std::size_t nul = rest.find('\0');
        if (nul == std::string_view::npos) break;
        parts.push_back(rest.substr(0, nul));
        rest.remove_prefix(nul + 1);
    }
    parts.push_back(rest);
    parts.resize(6);
    const std::string_view text = parts[0];

    using vektrin::IniFile;
    IniFile ini = IniFile::parse(text);
    // The file is given back byte for byte.
    if (ini.serialise() != text) __builtin_trap();
    const auto otherBefore = ini.value(parts[4], parts[5]);

    if (!ini.set(parts[1], parts[2], parts[3])) {
        if (ini.serialise() != text) __builtin_trap(); // a refused change changes nothing
        return 0;
    }
    const std::string once = ini.serialise();
    const IniFile again = IniFile::parse(once);
    if (again.value(parts[1], parts[2]) != std::string(parts[3])) __builtin_trap();
    if (!again.hasSection(parts[1])) __builtin_trap();
    // Any other value stays as it was.
    if (!(sameFolded(parts[4], parts[1]) && sameFolded(parts[5], parts[2])) &&
        again.value(parts[4], parts[5]) != otherBefore)
        __builtin_trap();
    // Setting the same value again changes nothing.
    IniFile twice = again;
    if (!twice.set(parts[1], parts[2], parts[3]) || twice.serialise() != once) __builtin_trap();
    return 0;
}
