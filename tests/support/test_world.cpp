#include "support/test_world.h"

#include <algorithm>
#include <sys/stat.h>

namespace vektrin::test {

TestWorld::TestWorld() {
    mkdir(tables().c_str(), 0755);
    writeFile(dir.file("aliases.ini"), "[Control]\npath=" + tables() + "\n");
    settings = std::make_unique<SettingsStore>(dir.file("settings.ini"));
    regional.shortDateFormat = "dd.mm.yyyy";
    regional.longTimeFormat = "hh:nn:ss";
    regional.dateSeparator = '.';
    regional.timeSeparator = ':';
    regional.decimalSeparator = '.';
    clock.set(2026, 12, 7, 10, 0, 30);
}

SchedulerConfig TestWorld::config(std::vector<std::string> args) const {
    SchedulerConfig c;
    c.arguments = std::move(args);
    c.programPath = "/usr/bin/vektrin";
    c.logPath = log();
    c.aliasesFile = dir.file("aliases.ini");
    c.fileVersion = "2.1.0.7";
    c.stateDirectory = dir.file("state");
    return c;
}

std::unique_ptr<Scheduler> TestWorld::makeScheduler(std::vector<std::string> args) {
    return std::make_unique<Scheduler>(clock, processes, windows, port, *settings, regional,
                                       config(std::move(args)));
}

std::vector<std::string> TestWorld::protocol() const {
    const std::string text = readFile(log());
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        lines.push_back(line.size() >= 20 ? line.substr(20) : line);
        pos = end + 2;
    }
    return lines;
}

std::vector<std::string> TestWorld::protocolSince(std::size_t from) const {
    const auto lines = protocol();
    return std::vector<std::string>(lines.begin() + static_cast<long>(std::min(from, lines.size())),
                                    lines.end());
}

bool TestWorld::protocolHas(const std::string& line) const {
    const auto lines = protocol();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int TestWorld::protocolLines(const std::string& text) const {
    return occurrences(readFile(log()), text);
}

std::int32_t TestWorld::appendTask(TDataCtrl& dm, const std::string& name,
                                   const std::function<void(TDataCtrl&)>& set) {
    dm.Table1.append();
    dm.Table1AppName.setString(name);
    if (set) set(dm);
    dm.Table1.post();
    return static_cast<std::int32_t>(dm.Table1AppID.asInteger());
}

} // namespace vektrin::test
