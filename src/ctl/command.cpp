#include "ctl/command.h"

#include <memory>

#include "ctl/tables.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <set>
#include <unistd.h>

namespace vektrin::ctl {

std::function<int()> guarded(const Context& context, std::function<int()> run) {
    return [&context, run = std::move(run)] {
        try {
            return run();
        } catch (const CommandError& e) {
            std::cerr << e.what() << '\n';
            return e.exitCode();
        } catch (const DatabaseError& e) {
            const std::string& directory = context.tablesDirectory;
            std::cerr << (directory.empty() ? std::string(e.what())
                                            : tableFailure(directory, e).what())
                      << '\n';
            return ExitDataError;
        } catch (const nlohmann::json::exception& e) {
            // The library's own form ("[json.exception.type_error.302] ...") means nothing to
            // an operator; every expected case has its own message before this.
            std::string text = e.what();
            const std::size_t end = text.find("] ");
            if (text.starts_with("[json.exception.") && end != std::string::npos)
                text.erase(0, end + 2);
            std::cerr << "Cannot handle the JSON: " << text << '\n';
            return ExitDataError;
        } catch (const std::exception& e) {
            std::cerr << e.what() << '\n';
            return ExitDataError;
        }
    };
}

void addArgument(CLI::App& cmd, const char* argument, std::string& value, const char* help) {
    cmd.add_option(argument, value, help)->required();
}

Declaration withArgument(const char* argument, const char* help,
                         std::function<int(const Context&, const std::string&)> run) {
    return withOptions<std::string>(
        [=](CLI::App& cmd, std::string& value) { addArgument(cmd, argument, value, help); }, run);
}

Declaration withJsonFlag(const char* help, int (*run)(const Context&, bool)) {
    return withOptions<bool>(
        [help](CLI::App& cmd, bool& json) { cmd.add_flag("--json", json, help); }, run);
}

DescriptorOutput::DescriptorOutput(int fd) : fd_(fd) {
    setp(buffer_, buffer_ + sizeof buffer_);
}

DescriptorOutput::~DescriptorOutput() {
    sync();
}

bool DescriptorOutput::writeAll(const char* text, std::size_t size) {
    while (size > 0 && error_ == 0) {
        const ssize_t n = ::write(fd_, text, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = n < 0 ? errno : EIO;
            break;
        }
        text += n;
        size -= static_cast<std::size_t>(n);
    }
    return error_ == 0;
}

int DescriptorOutput::sync() {
    const bool written = writeAll(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(buffer_, buffer_ + sizeof buffer_);
    return written ? 0 : -1;
}

DescriptorOutput::int_type DescriptorOutput::overflow(int_type c) {
    if (sync() != 0) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize DescriptorOutput::xsputn(const char* text, std::streamsize count) {
    if (count <= epptr() - pptr()) {
        std::memcpy(pptr(), text, static_cast<std::size_t>(count));
        pbump(static_cast<int>(count));
        return count;
    }
    if (sync() != 0 || !writeAll(text, static_cast<std::size_t>(count))) return 0;
    return count;
}

std::optional<std::string> standardOutputFailure() {
    std::cout.flush();
    if (const auto* out = dynamic_cast<const DescriptorOutput*>(std::cout.rdbuf());
        out && out->error() != 0)
        return std::strerror(out->error());
    if (!std::cout.good()) return std::strerror(EIO);
    return std::nullopt;
}

std::optional<DateTime> readMoment(std::string_view text, DateTime now) {
    const DateTime today = datePart(now);
    if (text == "now") return now;
    if (text == "today") return today;
    if (text == "yesterday") return today - 1;
    if (text == "tomorrow") return today + 1;
    const auto timeOfDay = [](std::string_view t) -> std::optional<DateTime> {
        std::string hhmm(t.size() > 1 && t[1] == ':' ? "0" : ""); // 7:30 as 07:30
        hhmm += t;
        if (hhmm.size() != 5 && hhmm.size() != 8) return std::nullopt;
        return parseIsoTime(hhmm.size() == 5 ? hhmm + ":00" : hhmm);
    };
    if (text.size() < 10) {
        const auto t = timeOfDay(text);
        return t ? std::optional(today + *t) : std::nullopt;
    }
    const auto date = parseIsoDate(text.substr(0, 10));
    if (!date || text.size() == 10) return date;
    if (text[10] != ' ' && text[10] != 'T') return std::nullopt;
    const auto t = timeOfDay(text.substr(11));
    return t ? std::optional(*date + *t) : std::nullopt;
}

CLI::Option* addMomentOption(CLI::App& cmd, const std::string& name, std::string& text,
                             const std::string& help) {
    return cmd.add_option(name, text, help)
        ->option_text("MOMENT")
        ->check(
            [name](const std::string& value) {
                return readMoment(value, 0)
                           ? std::string()
                           : name + " takes a moment (" + MomentForms + "), not '" + value + "'";
            },
            "MOMENT");
}

CLI::Option* addNumberOption(CLI::App& cmd, const std::string& names, int& value,
                             const std::string& help, int min, int max) {
    const std::string shown = names.substr(0, names.find(','));
    return cmd.add_option(names, value, help)
        ->option_text("N")
        ->check(
            [=](const std::string& text) {
                int number = 0;
                const auto [end, ec] =
                    std::from_chars(text.data(), text.data() + text.size(), number);
                if (ec == std::errc() && end == text.data() + text.size() && number >= min &&
                    number <= max)
                    return std::string();
                return shown + " takes a whole number from " + std::to_string(min) + " to " +
                       std::to_string(max) + ", not '" + text + "'";
            },
            "N");
}

Run quietly(CLI::App& cmd, Run run, bool confirms) {
    auto quiet = std::make_shared<bool>(false);
    cmd.add_flag("-q,--quiet", *quiet,
                 confirms ? "Print nothing but errors" : "Print no warnings, only errors");
    return [quiet, confirms, run = std::move(run)](const Context& context) {
        context.quiet = *quiet;
        if (!*quiet || !confirms) return run(context);
        struct Discard : std::streambuf {
            int_type overflow(int_type c) override { return traits_type::not_eof(c); }
        } discard;
        std::streambuf* const shown = std::cout.rdbuf(&discard);
        struct Restore {
            std::streambuf* buffer;
            ~Restore() { std::cout.rdbuf(buffer); }
        } restore{shown};
        return run(context);
    };
}

void declareCommands(CLI::App& app, const std::vector<Command>& commands, const Context& context,
                     std::function<int()>& chosen) {
    for (const Command& c : commands) {
        CLI::App* parent = &app;
        std::string rest = c.name;
        for (std::size_t blank; (blank = rest.find(' ')) != std::string::npos;) {
            parent = parent->get_subcommand(rest.substr(0, blank));
            rest.erase(0, blank + 1);
        }
        CLI::App* cmd = parent->add_subcommand(rest, c.description);
        if (!c.declare) {
            cmd->require_subcommand(1);
            continue;
        }
        // The parser's options live as long as app does, and the run with them.
        Run run = c.declare(*cmd);
        // The changes whose confirmation a script may not want.
        static const std::set<std::string> confirming = {
            "set",         "rm",          "resource add", "resource set",
            "resource rm", "silence add", "silence set",  "silence rm"};
        // The commands that may warn of what they write all the same.
        static const std::set<std::string> warning = {"add", "edit", "import"};
        if (confirming.contains(c.name) || warning.contains(c.name))
            run = quietly(*cmd, std::move(run), confirming.contains(c.name));
        cmd->callback([&context, &chosen, run] {
            chosen = guarded(context, [&context, run] { return run(context); });
        });
    }
}

} // namespace vektrin::ctl
