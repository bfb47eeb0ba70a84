// import --crontab against real tables: each crontab made its tasks or refused, every task's
// launches as next searches them the very minutes cron runs the line in, and the command strings
// run by a real shell printing what cron's would.

#include "ctl/in_process.h"
#include "ctl/tables.h"
#include "engine/next_launch.h"
#include "engine/schedule.h"
#include "platform/command_line.h"

#include <algorithm>
#include <sstream>

namespace vektrin {
namespace {

using schedule::LaunchMoment;

// One field as cron reads it, with names, lists, ranges and steps: which values it holds.
std::vector<bool> cronField(std::string text, int low, int high, std::vector<std::string> names) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return std::tolower(c); });
    for (std::size_t i = 0; i < names.size(); ++i)
        for (std::size_t at; (at = text.find(names[i])) != std::string::npos;)
            text.replace(at, 3, std::to_string(low + static_cast<int>(i)));
    std::vector<bool> on(static_cast<std::size_t>(high) + 1);
    std::stringstream items(text);
    for (std::string item; std::getline(items, item, ',');) {
        const auto slash = item.find('/');
        const int step = slash == std::string::npos ? 1 : std::stoi(item.substr(slash + 1));
        item = item.substr(0, slash);
        const auto dash = item.find('-');
        const int first = item == "*" ? low : std::stoi(item.substr(0, dash));
        const int last = item == "*"                 ? high
                         : dash == std::string::npos ? first
                                                     : std::stoi(item.substr(dash + 1));
        for (int v = first; v <= last; v += step)
            on[static_cast<std::size_t>(v)] = true;
    }
    return on;
}

// Whether cron runs the entry in a minute: day of month and weekday joined by "or" when both
// are restricted (neither begins with '*').
struct CronEntry {
    std::vector<bool> minute, hour, dom, month, dow;
    bool either = false;

    explicit CronEntry(std::string entry) {
        for (const auto& [macro, fields] : {std::pair{"@hourly", "0 * * * *"},
                                            {"@daily", "0 0 * * *"},
                                            {"@midnight", "0 0 * * *"},
                                            {"@weekly", "0 0 * * 0"},
                                            {"@monthly", "0 0 1 * *"}})
            if (entry.starts_with(macro)) entry = fields;
        std::istringstream in(entry);
        std::string f[5];
        for (std::string& field : f)
            in >> field;
        minute = cronField(f[0], 0, 59, {});
        hour = cronField(f[1], 0, 23, {});
        dom = cronField(f[2], 1, 31, {});
        month = cronField(
            f[3], 1, 12,
            {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"});
        dow = cronField(f[4], 0, 7, {"sun", "mon", "tue", "wed", "thu", "fri", "sat"});
        either = f[2][0] != '*' && f[4][0] != '*';
    }
    bool runs(const LaunchMoment& at) const {
        const DateParts date = decodeDate(static_cast<DateTime>(at.day));
        const int weekday = isoDayOfWeek(static_cast<DateTime>(at.day));
        const bool onWeekday =
            dow[static_cast<std::size_t>(weekday % 7)] || (weekday == 7 && dow[7]);
        const bool onDay = dom[static_cast<std::size_t>(date.day)];
        return (either ? onWeekday || onDay : onWeekday && onDay) &&
               minute[static_cast<std::size_t>(at.minute % 60)] &&
               hour[static_cast<std::size_t>(at.minute / 60)] &&
               month[static_cast<std::size_t>(date.month)];
    }
};

struct CrontabCase {
    std::string crontab;
    std::string tasks;       // "NAME SCHEDULE FROM-TO/REPEAT; ..." or "!" and a part of the refusal
    std::string prints = {}; // what the first task's command prints when run, where checked
};

TEST(CrontabImport, EachLineBecomesTheTasksThatLaunchWhenCronWouldOrIsRefused) {
    const CrontabCase cases[] = {
        {"30 2 * * * /usr/local/bin/backup.sh", "backup.sh daily 02:30-23:59"},
        {"*/5 * * * * /usr/bin/php /var/www/cron.php", "php hourly 0-55/5"},
        {"0 * * * * /usr/sbin/logrotate /etc/logrotate.conf", "logrotate hourly 0-59"},
        {"* * * * * /usr/local/bin/heartbeat", "heartbeat every-minute"},
        {"*/15 * * * * fetchmail -s", "fetchmail hourly 0-45/15"},
        {"*/7 * * * * poll", "poll hourly 0-56/7"},
        {"5,35 * * * * ntpdate-debian", "ntpdate-debian hourly 5-35/30"},
        {"5,20,50 * * * * check",
         "check-05 hourly 5-59; check-20 hourly 20-59; check-50 hourly 50-59"},
        {"10-40/10 * * * * x", "x hourly 10-40/10"},
        {"* 9-17 * * * busy", "busy daily 09:00-17:59/1"},
        {"0 9-17 * * 1-5 check-mail",
         "check-mail-mon weekly monday 09:00-17:00/60; check-mail-tue weekly tuesday "
         "09:00-17:00/60; "
         "check-mail-wed weekly wednesday 09:00-17:00/60; check-mail-thu weekly thursday "
         "09:00-17:00/60; check-mail-fri weekly friday 09:00-17:00/60"},
        {"30 18 * * mon-fri /usr/bin/notify",
         "notify-mon weekly monday 18:30-23:59; notify-tue weekly tuesday 18:30-23:59; notify-wed "
         "weekly wednesday 18:30-23:59; notify-thu weekly thursday 18:30-23:59; notify-fri weekly "
         "friday 18:30-23:59"},
        {"0 12 * * sat,SUN weekend",
         "weekend-sat weekly saturday 12:00-23:59; weekend-sun weekly sunday 12:00-23:59"},
        {"0 12 * * 0 sunday", "sunday weekly sunday 12:00-23:59"},
        {"0 12 * * 7 sunday", "sunday weekly sunday 12:00-23:59"},
        {"*/30 * * * 3 wed", "wed weekly wednesday 00:00-23:30/30"},
        {"0 0 * * 0-7 x", "x daily 00:00-23:59"},
        {"0 0 1-31 * 1-5 x", "x daily 00:00-23:59"},
        {"@daily /usr/bin/updatedb", "updatedb daily 00:00-23:59"},
        {"@midnight cleanup", "cleanup daily 00:00-23:59"},
        {"@hourly /usr/lib/sysstat/sa1 1 1", "sa1 hourly 0-59"},
        {"@weekly /sbin/fstrim -av", "fstrim weekly sunday 00:00-23:59"},
        {"@monthly /usr/local/bin/invoice", "invoice monthly 1 00:00-23:59"},
        {"0 6 1 * * monthly-report", "monthly-report monthly 1 06:00-23:59"},
        {"0 6 1,15 * * pay", "pay-1 monthly 1 06:00-23:59; pay-15 monthly 15 06:00-23:59"},
        {"0 0 1-7 * * first-week", "first-week monthly 1-7 00:00-23:59"},
        {"0 0 31 * * last", "last monthly 31 00:00-23:59"},
        {"0 0 1-31/10 * * x", "x-1 monthly 1 00:00-23:59; x-11 monthly 11 00:00-23:59; x-21 "
                              "monthly 21 00:00-23:59; x-31 "
                              "monthly 31 00:00-23:59"},
        {"0 */2 * * * certbot renew", "certbot daily 00:00-22:00/120"},
        {"0 */7 * * * rsync", "rsync daily 00:00-21:00/420"},
        {"0,30 9-17 * * * poll", "poll daily 09:00-17:30/30"},
        {"30 8,10,12 * * * x", "x daily 08:30-12:30/120"},
        {"15,45 9,12 * * * x", "x-09:15 daily 09:15-09:45/30; x-12:15 daily 12:15-12:45/30"},
        {"*/20 8,20 * * * x", "x-08:00 daily 08:00-08:40/20; x-20:00 daily 20:00-20:40/20"},
        {"0 8,12,18 * * * remind", "remind-08:00 daily 08:00-23:59; remind-12:00 daily "
                                   "12:00-23:59; remind-18:00 daily 18:00-23:59"},
        {"0-59/20 0-23/6 * * * x", "x-00:00 daily 00:00-18:00/360; x-00:20 daily 00:20-18:20/360; "
                                   "x-00:40 daily 00:40-18:40/360"},
        {"*/7 9-10 * * * x", "x-09:00 daily 09:00-09:56/7; x-10:00 daily 10:00-10:56/7"},
        {"0 0 * * * cd /srv/app && ./cleanup.sh", "cleanup.sh daily 00:00-23:59"},
        {"*/10 * * * * test -x /usr/sbin/anacron || anacron -s", "anacron hourly 0-50/10"},
        {"0 3 * * * nice -n 19 ionice -c3 /usr/local/bin/backup", "backup daily 03:00-23:59"},
        {"0 3 * * * flock -n /tmp/sync.lock rsync -a /src /dst", "rsync daily 03:00-23:59"},
        {"0 5 * * * LANG=C deploy", "deploy daily 05:00-23:59"},
        {"0 0 * * 6,7 /opt/a-really-very-long-program-name-beyond-forty-chars",
         "a-really-very-long-program-name-beyo-sat weekly saturday 00:00-23:59; "
         "a-really-very-long-program-name-beyo-sun weekly sunday 00:00-23:59"},
        {"0 1 * * * backup\n0 2 * * * backup",
         "backup daily 01:00-23:59; backup-2 daily 02:00-23:59"},
        {"15 3 * * * cat%Hello%World", "cat daily 03:15-23:59", "Hello\nWorld\n"},
        {"0 0 * * * cat%a\\%b%%", "cat daily 00:00-23:59", "a%b\n\n"},
        {"0 0 * * * echo hi%", "echo daily 00:00-23:59", "hi\n"},
        {"0 0 * * * cat%\\\\%x", "cat daily 00:00-23:59", "\\%x\n"},
        {"0 0 * * * printf '100\\%\\%\\n'", "printf daily 00:00-23:59", "100%\n"},
        {"0 4 * * * echo home-$(date -d @0 -u +\\%Y).tgz", "echo daily 04:00-23:59",
         "home-1970.tgz\n"},
        {"0 0 * * * echo 'single' \"double $((1+2))\" \\$HOME", "echo daily 00:00-23:59",
         "single double 3 $HOME\n"},
        {"SHELL=/bin/bash\n0 0 * * * [ -n \"$BASH_VERSION\" ] && echo bash",
         "echo daily 00:00-23:59", "bash\n"},
        {"PATH=/opt/x:/usr/bin:/bin\n0 0 * * * echo $PATH", "echo daily 00:00-23:59",
         "/opt/x:/usr/bin:/bin\n"},
        {"GREETING = 'it''s'\n0 0 * * * echo $GREETING", "echo daily 00:00-23:59", "it''s\n"},
        {"MAILTO=root\n0 1 * * * x", "x daily 01:00-23:59"},
        {"MAILTO=\"\"\n0 1 * * * x", "x daily 01:00-23:59"},
        {"@yearly /usr/bin/happy-new-year", "!month field"},
        {"@annually x", "!month field"},
        {"0 0 * jan,jul * x", "!month field"},
        {"@reboot /usr/bin/start-agent", "!@reboot"},
        {"@every 5m x", "!no schedule cron knows"},
        {"*/7 9-17 * * 1-5 poll", "!it would take 45 tasks"},
        {"0 0,5,12 */2 * * x", "!it would take 48 tasks"},
        {"0 0 1-7 * 1 first-monday", "!listed days of the month and on the listed weekdays"},
        {"0 0 */2 * 1 odd-monday", "!both listed days of the month and listed weekdays"},
        {"0 0 * * *", "!no command"},
        {"@daily", "!no command"},
        {"61 * * * * x", "!minute field: 61 is not 0 to 59"},
        {"0 24 * * * x", "!hour field: 24 is not 0 to 23"},
        {"0 0 0 * * x", "!day-of-month field: 0 is not 1 to 31"},
        {"0 0 * * 8 x", "!weekday field: 8 is not 0 to 7"},
        {"0 0 * * fri-mon x", "!runs backwards"},
        {"5/10 * * * * x", "!write 5-59/10"},
        {"*/0 * * * * x", "!no whole number above 0"},
        {"0 0 L * * x", "!\"L\" is no number"},
        {"0 0 * * 1#2 x", "!\"1#2\" is no number or name"},
        {"0 0 * * * echo \\%TDD\\%", "!it holds %TDD%"},
        {"0 0 * * * cat # note%input", "!may not hold #"},
        {"0 0 * * * echo a\tb", "!control character"},
        {"0 0 * * * echo \x1b[2J%x", "!control character"},
        {"\x1b[2J * * * * x", "!minute field: \"?[2J\" is no number"},
        {"CRON_TZ=Europe/Berlin\n0 9 * * * x", "!CRON_TZ=Europe/Berlin"},
        {"0 0 * * * /usr/bin/find /var/www/example.com/shared/cache -type f -name '*.tmp' -mmin "
         "+120 -delete -print >> /var/log/cache.log",
         "!characters; a task's command holds 120"},
        {"0 1 * * * ok\n@reboot no", "!@reboot"},
    };
    // Forty days from a Monday, across the end of January and the whole of February.
    const std::int64_t firstDay = static_cast<std::int64_t>(*tryEncodeDate(2027, 1, 25));
    constexpr int Days = 40;
    for (const CrontabCase& c : cases) {
        SCOPED_TRACE(c.crontab);
        test::AliasDir tables;
        test::writeFile(tables.file("crontab"), c.crontab + "\n");
        // --check first: what it wrote would make the names below differ.
        const test::ProgramOutcome check = tables.ctl(
            {"--at", "2027-01-24 23:59", "import", "--crontab", "--check", tables.file("crontab")});
        const test::ProgramOutcome o = tables.ctl({"import", "--crontab", tables.file("crontab")});
        EXPECT_EQ(check.exitCode, o.exitCode);
        EXPECT_EQ(o.err.find('\x1b'), std::string::npos); // a line said never moves the cursor
        EXPECT_EQ(o.err.find("mails nothing") != std::string::npos,
                  c.crontab.find("MAILTO=r") != std::string::npos);
        test::RecordingMessages messages;
        TDataCtrl dm(tables.path(), messages);
        std::string made;
        std::vector<std::string> launches; // as --check and next write them
        schedule::NextLaunchSearch search({});
        for (dm.Table1.first(); !dm.Table1.eof(); dm.Table1.next()) {
            const Schedule s = Schedule::ofTask(dm);
            const schedule::Words w = s.words();
            made += (made.empty() ? "" : "; ") + dm.Table1AppName.asString() + " " + w.schedule +
                    (w.from.empty() ? "" : " " + w.from + "-" + w.to) +
                    (s.repeatInterval ? "/" + std::to_string(s.repeatInterval) : "");
            for (const LaunchMoment& m :
                 search.between(s, LaunchMoment{firstDay - 1, 1439}.toDateTime(),
                                LaunchMoment{firstDay + Days, 0}.toDateTime()))
                launches.push_back(ctl::formatMoment(m));
            if (made.find(';') != std::string::npos || c.prints.empty()) continue;
            const SplitCommandLine run = splitCommandLine(dm.Table1Application.asString());
            const std::vector<std::string> args(run.arguments.begin() + 1, run.arguments.end());
            EXPECT_EQ(test::runProgram(run.arguments[0], args, {"PATH=/usr/bin:/bin"}).out,
                      c.prints);
        }
        if (c.tasks.starts_with("!")) {
            EXPECT_EQ(o.exitCode, 2);
            EXPECT_NE(o.err.find(c.tasks.substr(1)), std::string::npos) << o.err;
            EXPECT_EQ(made, "");
            continue;
        }
        EXPECT_EQ(o.exitCode, 0) << o.err;
        EXPECT_EQ(made, c.tasks);
        std::vector<std::string> cron;
        std::istringstream lines(c.crontab);
        for (std::string line; std::getline(lines, line);) {
            if (line.find_first_of("0123456789*@") != 0) continue; // a setting
            const CronEntry entry(line);
            for (std::int64_t day = firstDay; day < firstDay + Days; ++day)
                for (int minute = 0; minute < 1440; ++minute)
                    if (entry.runs({day, minute})) cron.push_back(ctl::formatMoment({day, minute}));
        }
        std::sort(cron.begin(), cron.end());
        std::sort(launches.begin(), launches.end());
        EXPECT_EQ(launches, cron); // the same minutes, none of them twice
        // The first launches --check shows are cron's, the very first among them.
        const std::set<std::string> cronMoments(cron.begin(), cron.end());
        const std::string end = ctl::formatMoment({firstDay + Days, 0});
        EXPECT_NE(check.out.find("next " + cron.front()), std::string::npos) << check.out;
        std::istringstream shown(check.out);
        for (std::string line; std::getline(shown, line);)
            for (std::size_t at = 9; line.starts_with("    next ") && at < line.size(); at += 18) {
                if (line.substr(at, 16) < end) {
                    EXPECT_TRUE(cronMoments.contains(line.substr(at, 16))) << line;
                }
            }
    }
}

} // namespace
} // namespace vektrin
