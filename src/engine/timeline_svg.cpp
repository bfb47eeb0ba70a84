#include "engine/timeline_svg.h"

#include "platform/strings.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace vektrin::timeline {
namespace {

using P = SvgPage;
constexpr int MinutesPerDay = 1440;

constexpr const char* WindowFill = "#d5e5f4";
constexpr const char* LaunchColour = "#1f4e79";
constexpr const char* SilenceFill = "#6f6f6f";
constexpr const char* ConflictColour = "#d62728";
constexpr const char* MadeUpColour = "#b35900";
constexpr const char* StripeFill = "#f3f3f3";
constexpr const char* HourLine = "#e2e2e2";
constexpr const char* DayLine = "#9a9a9a";

// Numbers with one decimal, whatever the locale of the process (a desktop program runs under the
// user's, where the decimal separator may be a comma).
void num(std::string& out, double value) {
    long long tenths = std::llround(value * 10);
    if (tenths < 0) {
        out += '-';
        tenths = -tenths;
    }
    out += std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        out += '.';
        out += static_cast<char>('0' + tenths % 10);
    }
}

struct Svg {
    std::string out;

    Svg& operator<<(std::string_view text) {
        out.append(text);
        return *this;
    }
    Svg& operator<<(double value) {
        num(out, value);
        return *this;
    }
    Svg& operator<<(char c) {
        out += c;
        return *this;
    }
    Svg& operator<<(int value) {
        out += std::to_string(value);
        return *this;
    }
    Svg& text(std::string_view t) {
        out += xmlEscape(t);
        return *this;
    }
};

// The characters of a UTF-8 text.
std::size_t characters(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The day labels' bold 9-unit letters: an advance above the average of letters and digits, and the
// room left between two labels.
constexpr double DayLabelAdvance = 5.3;
constexpr double DayLabelGap = 8;
// The same for the hour labels' 8-unit letters.
constexpr double HourLabelAdvance = 5.2;
constexpr double HourLabelGap = 4;

// Names longer than the name column are cut, by characters, not bytes.
std::string cutName(const std::string& name, std::size_t characters) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;
        if (++count > characters) return name.substr(0, i) + "\u2026";
    }
    return name;
}

class Renderer {
  public:
    Renderer(const Model& model, const RegionalSettings& regional, const ChartWords& words,
             const SvgLayout& layout)
        : model_(model), regional_(regional), words_(words), L(layout) {
        shortTime_ = regional;
        shortTime_.longTimeFormat = shortTimeFormat(regional.longTimeFormat);
        anyLaunch_ = model.anyLaunch();
        anyMadeUp_ = model.anyMadeUp();
        laneOfTask_.assign(model.tables.tasks.size(), -1);
        for (std::size_t l = 0; l < model.lanes.size(); ++l)
            laneOfTask_[static_cast<std::size_t>(model.lanes[l].task)] = static_cast<int>(l);
    }

    // The whole document, or (only >= 0) that one section alone as a page of its own.
    std::string run(int only = -1) {
        const int sections = sectionCount(model_, L);
        const double height =
            only >= 0 ? L.sectionHeight(lanesIn(model_, only, L)) : chartHeight(model_, L);
        svg_.out.reserve(
            4096 +
            (only >= 0 ? static_cast<std::size_t>(L.lanesPerSection) : model_.lanes.size()) * 600);
        svg_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" ";
        // The saved pages keep the paper's size; others are as large as their units.
        if (L.isA4())
            svg_ << "width=\"297mm\" height=\"" << 210.0 * height / SvgPage::Height << "mm\" ";
        else
            svg_ << "width=\"" << L.width << "\" height=\"" << height << "\" ";
        svg_ << "viewBox=\"0 0 " << L.width << ' ' << height
             << "\" font-family=\"Liberation Sans, Arial, Helvetica, sans-serif\" "
                "font-size=\"8\">\n";
        svg_ << "<title>" << title() << "</title>\n";
        groupConflicts(sections);
        for (int s = 0; s < sections; ++s)
            if (only < 0 || s == only) section(s, sections, only >= 0 ? 0 : s);
        svg_ << "</svg>\n";
        return std::move(svg_.out);
    }

  private:
    double x(Minute m) const { return xOf(model_.period, m, L); }

    std::string moment(Minute m) const {
        const DateTime value = launchMoment(m).toDateTime();
        return regional_.formatDate(value) + ' ' + shortTime_.formatTime(value);
    }

    std::string title() const {
        return xmlEscape(str::fill(word(str::TimelineTitle),
                                   {moment(model_.period.begin), moment(model_.period.end)}));
    }

    void section(int s, int sections, int place) {
        const int first = s * L.lanesPerSection;
        const int count = lanesIn(model_, s, L);
        const double top = P::LaneTop;
        const double bottom = top + L.laneHeight * std::max(count, 3);
        svg_ << "<g id=\"section-" << s + 1 << "\" transform=\"translate(0 " << L.pitch() * place
             << ")\">\n";
        svg_ << "<rect x=\"0\" y=\"0\" width=\"" << L.width << "\" height=\""
             << L.sectionHeight(count) << "\" fill=\"#ffffff\"/>\n";
        svg_ << "<text x=\"" << P::Margin << "\" y=\"44\" font-size=\"15\" font-weight=\"bold\">"
             << title() << "</text>\n";
        if (sections > 1)
            svg_ << "<text x=\"" << L.plotRight()
                 << "\" y=\"44\" font-size=\"10\" "
                    "text-anchor=\"end\">"
                 << xmlEscape(str::fill(word(str::TimelinePage),
                                        {std::to_string(s + 1), std::to_string(sections)}))
                 << "</text>\n";
        // Stripes first, so that everything else lies on them.
        for (int l = 0; l < count; ++l)
            if (l % 2 == 1)
                svg_ << "<rect x=\"" << P::Margin << "\" y=\"" << laneTop(l) << "\" width=\""
                     << L.plotRight() - P::Margin << "\" height=\"" << L.laneHeight << "\" fill=\""
                     << StripeFill << "\"/>\n";
        axis(top, bottom);
        for (int l = 0; l < count; ++l)
            lane(first + l, l);
        silence(top, bottom);
        conflicts(s, first, count);
        if (count <= 0 || !anyLaunch_)
            svg_ << "<text x=\"" << (P::PlotLeft + L.plotRight()) / 2 << "\" y=\""
                 << top + L.laneHeight * 1.8
                 << "\" font-size=\"12\" text-anchor=\"middle\" fill=\"#444444\">"
                 << xmlEscape(model_.lanes.empty() ? word(str::TimelineNoTasks)
                                                   : word(str::TimelineNothingDue))
                 << "</text>\n";
        legend(count);
        svg_ << "</g>\n";
    }

    double laneTop(int l) const { return P::LaneTop + L.laneHeight * l; }

    void axis(double top, double bottom) {
        const Period& p = model_.period;
        const double minutes = static_cast<double>(p.end - p.begin);
        const double perHour = (L.plotRight() - P::PlotLeft) * 60 / minutes;
        const double perDay = perHour * 24;
        // Hour labels every 1, 2, 3, 4, 6 or 12 hours, as many as fit side by side (an AM/PM
        // clock's "10:00 PM" needs half as many again as "22:00").
        const double hourWidth =
            HourLabelAdvance * static_cast<double>(characters(shortTime_.formatTime(
                                   launchMoment(p.begin / MinutesPerDay * MinutesPerDay + 22 * 60)
                                       .toDateTime()))) +
            HourLabelGap;
        int hourStep = 0;
        for (const int step : {1, 2, 3, 4, 6, 12})
            if (step * perHour >= hourWidth) {
                hourStep = step;
                break;
            }
        // Day labels: weekday and date where the longest of them fits a day, the date alone, or
        // every few days; never over one another.
        std::size_t longestWeekday = 0;
        for (int d = 1; d <= 7; ++d)
            longestWeekday = std::max(longestWeekday, characters(word(weekdayName(d))));
        const double dateWidth =
            DayLabelAdvance *
            static_cast<double>(characters(regional_.formatDate(p.begin / MinutesPerDay)));
        const double weekdayWidth =
            dateWidth + DayLabelAdvance * static_cast<double>(longestWeekday + 2);
        int dayStep = 1;
        while (dayStep * perDay < dateWidth + DayLabelGap && dayStep < 31)
            ++dayStep;
        const bool withWeekday = perDay >= weekdayWidth + DayLabelGap;

        svg_ << "<g id=\"axis\">\n";
        const Minute firstHour = (p.begin + 59) / 60 * 60;
        for (Minute m = firstHour; m < p.end; m += 60) {
            const int hour = static_cast<int>(m % MinutesPerDay / 60);
            const bool midnight = hour == 0;
            if (!midnight && (hourStep == 0 || hour % hourStep != 0)) continue;
            const double px = x(m);
            // A day's line also marks its label, and leaves the hour's label free.
            if (midnight)
                svg_ << "<line x1=\"" << px << "\" y1=\"" << top - 34 << "\" x2=\"" << px
                     << "\" y2=\"" << top - 20 << "\" stroke=\"" << DayLine
                     << "\" stroke-width=\"0.8\"/>\n";
            svg_ << "<line x1=\"" << px << "\" y1=\"" << top - (midnight ? 4 : 3) << "\" x2=\""
                 << px << "\" y2=\"" << bottom << "\" stroke=\"" << (midnight ? DayLine : HourLine)
                 << "\" stroke-width=\"" << (midnight ? 0.8 : 0.5) << "\"/>\n";
            if (hourStep != 0 && hour % hourStep == 0 && px + 14 <= L.plotRight() + 4)
                svg_ << "<text x=\"" << px << "\" y=\"" << top - 8
                     << "\" text-anchor=\"middle\" fill=\"#333333\">"
                     << xmlEscape(shortTime_.formatTime(launchMoment(m).toDateTime()))
                     << "</text>\n";
        }
        // A label for each day that begins in the period, and for the day the period begins in.
        for (Minute day = p.begin / MinutesPerDay; day * MinutesPerDay < p.end; ++day) {
            if ((day - p.begin / MinutesPerDay) % dayStep != 0) continue;
            const double px = x(std::max(day * MinutesPerDay, p.begin)) + 2;
            const DateTime date = static_cast<double>(day);
            std::string label = regional_.formatDate(date);
            // "Wednesday, 09.12.2026", the day's name in the chart's language.
            const std::string named = word(weekdayName(isoDayOfWeek(date))) + ", " + label;
            const auto width = [](const std::string& text) {
                return DayLabelAdvance * static_cast<double>(characters(text));
            };
            if (day * MinutesPerDay < p.begin) {
                // The day the period begins in says what its piece has room for (its own name,
                // not the longest one, which a longer language's weekday would make too long):
                // its name and date, else its date.
                const double room = x((day + 1) * MinutesPerDay) - px - DayLabelGap;
                if (withWeekday && width(named) <= room)
                    label = named;
                else if (width(label) > room)
                    continue;
                if (px + width(label) > L.width) continue;
            } else {
                if (px + (withWeekday ? weekdayWidth : dateWidth) > L.width) continue;
                if (withWeekday) label = named;
            }
            svg_ << "<text x=\"" << px << "\" y=\"" << top - 24
                 << "\" font-size=\"9\" font-weight=\"bold\" fill=\"#222222\">" << xmlEscape(label)
                 << "</text>\n";
        }
        svg_ << "<line x1=\"" << P::PlotLeft << "\" y1=\"" << top << "\" x2=\"" << L.plotRight()
             << "\" y2=\"" << top << "\" stroke=\"#555555\" stroke-width=\"0.8\"/>\n";
        svg_ << "</g>\n";
    }

    static std::string weekdayName(int isoDay) {
        static constexpr std::array<std::string_view, 7> names = {
            str::Monday, str::Tuesday,  str::Wednesday, str::Thursday,
            str::Friday, str::Saturday, str::Sunday};
        return std::string(names[static_cast<std::size_t>((isoDay + 6) % 7)]);
    }

    // Diagonal strokes filling a rectangle: the mark of what happens only if a condition holds.
    void hatch(double x0, double y0, double w, double h) {
        constexpr double Spacing = 4;
        if (w <= 0 || h <= 0) return;
        svg_ << "<path d=\"";
        for (double c = x0 + y0 + Spacing / 2; c < x0 + w + y0 + h; c += Spacing) {
            const double xa = std::max(x0, c - (y0 + h));
            const double xb = std::min(x0 + w, c - y0);
            if (xb <= xa) continue;
            svg_ << 'M' << xa << ' ' << c - xa << 'L' << xb << ' ' << c - xb;
        }
        svg_ << "\" stroke=\"" << LaunchColour << "\" stroke-width=\"0.6\" fill=\"none\"/>\n";
    }

    void lane(int index, int row) {
        const Lane& lane = model_.lanes[static_cast<std::size_t>(index)];
        const Task& task = model_.tables.tasks[static_cast<std::size_t>(lane.task)];
        const double y = laneTop(row);
        const double mid = y + L.laneHeight / 2;
        svg_ << "<g id=\"lane-" << index + 1 << "\" class=\"lane\" data-app-id=\""
             << std::to_string(task.appId) << "\">\n";
        svg_ << "<title>";
        svg_.text(task.name);
        svg_ << "</title>\n";
        svg_ << "<text x=\"" << P::Margin << "\" y=\"" << mid + 2.8 << "\" fill=\""
             << (task.stopped ? "#888888" : "#000000") << "\">";
        svg_.text(cutName(task.name, 44));
        if (task.stopped) svg_ << xmlEscape(word(str::TimelineStopped));
        svg_ << "</text>\n";

        const double bandTop = y + 1.5;
        const double bandHeight = L.laneHeight - 3;
        // Windows nearer than the eye can part are one band, as the marks are.
        const std::vector<Stretch>& windows = lane.windows;
        for (std::size_t i = 0; i < windows.size();) {
            std::size_t j = i;
            while (j + 1 < windows.size() &&
                   x(windows[j + 1].begin) - x(windows[j].end) < P::MinMarkDistance)
                ++j;
            const double x0 = x(windows[i].begin);
            const double width = std::max(x(windows[j].end) - x0, 0.6);
            svg_ << "<rect x=\"" << x0 << "\" y=\"" << bandTop << "\" width=\"" << width
                 << "\" height=\"" << bandHeight << "\" fill=\"" << WindowFill << "\"/>\n";
            i = j + 1;
        }

        // Marks nearer than the eye can part merge into one band.
        const std::vector<Minute>& launches = lane.launches;
        for (std::size_t i = 0; i < launches.size();) {
            std::size_t j = i;
            while (j + 1 < launches.size() &&
                   x(launches[j + 1]) - x(launches[j]) < P::MinMarkDistance)
                ++j;
            const double x0 = x(launches[i]);
            if (j == i) {
                svg_ << "<line x1=\"" << x0 << "\" y1=\"" << y + 0.8 << "\" x2=\"" << x0
                     << "\" y2=\"" << y + L.laneHeight - 0.8 << "\" stroke=\"" << LaunchColour
                     << "\" stroke-width=\"1.4\""
                     << (task.conditional ? " stroke-dasharray=\"1.6 1\"" : "") << "><title>"
                     << xmlEscape(moment(launches[i])) << "</title></line>\n";
            } else {
                const double width = std::max(x(launches[j]) - x0, 1.4);
                svg_ << "<rect x=\"" << x0 << "\" y=\"" << y + 1 << "\" width=\"" << width
                     << "\" height=\"" << L.laneHeight - 2 << "\" fill=\""
                     << (task.conditional ? "none" : LaunchColour) << "\" stroke=\"" << LaunchColour
                     << "\" stroke-width=\"0.5\"><title>"
                     << xmlEscape(str::fill(
                            word(str::TimelineLaunches),
                            {std::to_string(j - i + 1), moment(launches[i]), moment(launches[j])}))
                     << "</title></rect>\n";
                if (task.conditional) hatch(x0, y + 1, width, L.laneHeight - 2);
            }
            i = j + 1;
        }
        for (const MadeUp& m : lane.madeUp)
            diamond(x(m.at), mid, str::fill(word(str::TimelineMadeUpLaunch), {moment(m.missed)}));
        svg_ << "</g>\n";
    }

    void silence(double top, double bottom) {
        for (const SilenceStretch& s : model_.silence) {
            const double x0 = x(s.stretch.begin);
            const double width = std::max(x(s.stretch.end) - x0, 0.6);
            const Schedule& row = model_.tables.silence[static_cast<std::size_t>(s.row)];
            svg_ << "<rect class=\"silence\" x=\"" << x0 << "\" y=\"" << top << "\" width=\""
                 << width << "\" height=\"" << bottom - top << "\" fill=\"" << SilenceFill
                 << "\" fill-opacity=\"0.28\"><title>"
                 << xmlEscape(std::string(word(str::TimelineLegendSilence)) + " (" +
                              silenceKindName(row, words_) + "): " + moment(s.stretch.begin) +
                              " - " + moment(s.stretch.end - 1))
                 << "</title></rect>\n";
        }
    }

    // Conflicts of one pair nearer than the eye can part are one mark; each mark is drawn in the
    // sections of its two lanes.
    void groupConflicts(int sections) {
        bySection_.assign(static_cast<std::size_t>(sections), {});
        for (std::size_t k = 0; k < model_.conflicts.size(); ++k) {
            const Conflict& c = model_.conflicts[k];
            const int a = laneOfTask_[static_cast<std::size_t>(c.holder)];
            const int b = laneOfTask_[static_cast<std::size_t>(c.other)];
            const int sa = a >= 0 ? a / L.lanesPerSection : -1;
            const int sb = b >= 0 ? b / L.lanesPerSection : -1;
            const std::vector<Minute>& m = c.minutes;
            for (std::size_t i = 0; i < m.size();) {
                std::size_t j = i;
                while (j + 1 < m.size() && x(m[j + 1]) - x(m[j]) < P::MinMarkDistance)
                    ++j;
                const Group g{k, i, j};
                if (sa >= 0) bySection_[static_cast<std::size_t>(sa)].push_back(g);
                if (sb >= 0 && sb != sa) bySection_[static_cast<std::size_t>(sb)].push_back(g);
                i = j + 1;
            }
        }
    }

    // Red marks on the two lanes, joined where both are on this page.
    void conflicts(int section, int first, int count) {
        const auto onPage = [&](int task) {
            const int l = laneOfTask_[static_cast<std::size_t>(task)];
            return l >= first && l < first + count ? l - first : -1;
        };
        for (const Group& g : bySection_[static_cast<std::size_t>(section)]) {
            const Conflict& c = model_.conflicts[g.conflict];
            conflictMark(c, c.minutes[g.first], c.minutes[g.last], g.last - g.first + 1,
                         onPage(c.holder), onPage(c.other));
        }
    }

    void conflictMark(const Conflict& c, Minute first, Minute last, std::size_t n, int a, int b) {
        const std::string& other = model_.tables.tasks[static_cast<std::size_t>(c.other)].name;
        std::string text =
            n == 1 ? moment(first) + " <" + other + "> " + conflictText(model_, c, words_)
                   : str::fill(word(str::TimelineConflicts),
                               {std::to_string(n), moment(first), moment(last)}) +
                         ": <" + other + "> " + conflictText(model_, c, words_);
        const double x0 = x(first);
        const double width = x(last) - x0;
        const auto centre = [&](int row) { return laneTop(row) + L.laneHeight / 2; };
        svg_ << "<g class=\"conflict\"><title>" << xmlEscape(text) << "</title>\n";
        if (a >= 0 && b >= 0) {
            const double y0 = std::min(centre(a), centre(b));
            const double y1 = std::max(centre(a), centre(b));
            if (n == 1)
                svg_ << "<line x1=\"" << x0 << "\" y1=\"" << y0 << "\" x2=\"" << x0 << "\" y2=\""
                     << y1 << "\" stroke=\"" << ConflictColour << "\" stroke-width=\"1.2\"/>\n";
            else
                svg_ << "<rect x=\"" << x0 << "\" y=\"" << y0 << "\" width=\""
                     << std::max(width, 1.2) << "\" height=\"" << y1 - y0 << "\" fill=\""
                     << ConflictColour << "\" fill-opacity=\"0.45\"/>\n";
        }
        for (const int row : {a, b})
            if (row >= 0)
                svg_ << "<rect x=\"" << x0 - 1.6 << "\" y=\"" << centre(row) - 1.6 << "\" width=\""
                     << std::max(width, 0.0) + 3.2 << "\" height=\"3.2\" fill=\"" << ConflictColour
                     << "\"/>\n";
        svg_ << "</g>\n";
    }

    // Under the lanes of the page, in rows as wide as the page allows.
    void legend(int lanes) {
        double y = P::LaneTop + L.laneHeight * std::max(lanes, 3) + 30;
        double px = P::PlotLeft;
        // A swatch drawn at (px, y) and its text; a row full goes on in the next.
        const auto entry = [&](const std::string& text, const auto& swatch) {
            const double textWidth = 4.6 * static_cast<double>(characters(text));
            if (px > P::PlotLeft && px + 20 + textWidth > L.plotRight()) {
                px = P::Margin;
                y += 14;
            }
            swatch();
            svg_ << "<text x=\"" << px + 20 << "\" y=\"" << y + 7.5 << "\">" << xmlEscape(text)
                 << "</text>\n";
            px += 20 + textWidth + 22;
        };
        const auto box = [&](const char* fill, const char* rest = "") {
            svg_ << "<rect x=\"" << px << "\" y=\"" << y << "\" width=\"16\" height=\"10\" fill=\""
                 << fill << "\"" << rest << "/>\n";
        };
        svg_ << "<g id=\"legend\">\n";
        entry(word(str::TimelineLegendWindow), [&] { box(WindowFill); });
        entry(word(str::TimelineLegendLaunch), [&] {
            svg_ << "<line x1=\"" << px + 8 << "\" y1=\"" << y << "\" x2=\"" << px + 8 << "\" y2=\""
                 << y + 10 << "\" stroke=\"" << LaunchColour << "\" stroke-width=\"1.4\"/>\n";
        });
        entry(word(str::TimelineLegendDense), [&] { box(LaunchColour); });
        entry(word(str::TimelineLegendConditional), [&] {
            svg_ << "<rect x=\"" << px << "\" y=\"" << y
                 << "\" width=\"16\" height=\"10\" fill=\"none\" stroke=\"" << LaunchColour
                 << "\" stroke-width=\"0.5\"/>\n";
            hatch(px, y, 16, 10);
        });
        entry(word(str::TimelineLegendSilence),
              [&] { box(SilenceFill, " fill-opacity=\"0.28\""); });
        entry(word(str::TimelineLegendConflict), [&] {
            svg_ << "<rect x=\"" << px + 6.4 << "\" y=\"" << y
                 << "\" width=\"3.2\" height=\"10\" fill=\"" << ConflictColour << "\"/>\n";
        });
        if (anyMadeUp_) entry(word(str::TimelineLegendMadeUp), [&] { diamond(px + 8, y + 5); });
        svg_ << "</g>\n";
    }

    // The mark of a made-up launch.
    void diamond(double cx, double cy, std::string_view title = {}) {
        constexpr double R = 4;
        svg_ << "<polygon points=\"" << cx << ',' << cy - R << ' ' << cx + R << ',' << cy << ' '
             << cx << ',' << cy + R << ' ' << cx - R << ',' << cy << "\" fill=\"" << MadeUpColour
             << "\" stroke=\"#ffffff\" stroke-width=\"0.6\"";
        if (title.empty()) {
            svg_ << "/>\n";
            return;
        }
        svg_ << "><title>" << xmlEscape(title) << "</title></polygon>\n";
    }

    // A word of the chart in the operator's language.
    std::string word(std::string_view text) const {
        return words_ ? words_(text) : std::string(text);
    }

    const Model& model_;
    const RegionalSettings& regional_;
    const ChartWords& words_;
    const SvgLayout& L;
    RegionalSettings shortTime_;
    Svg svg_;
    struct Group {
        std::size_t conflict;    // index into model_.conflicts
        std::size_t first, last; // of its minutes
    };
    std::vector<int> laneOfTask_;
    std::vector<std::vector<Group>> bySection_;
    bool anyLaunch_ = false;
    bool anyMadeUp_ = false;
};

} // namespace

SvgLayout SvgLayout::page(double width, double height) {
    SvgLayout l;
    l.width = std::max(width, MinWidth);
    l.height = height;
    l.lanesPerSection =
        std::max(3, static_cast<int>((height - P::LaneTop - P::LegendSpace) / l.laneHeight + 1e-9));
    return l;
}

SvgLayout SvgLayout::screen(double width, double height, int lanes) {
    SvgLayout l;
    l.width = std::max(width, MinWidth);
    l.height = 0;
    // A few lanes grow taller to fill the height, up to half as tall again.
    const int rows = std::clamp(lanes, 3, l.lanesPerSection);
    l.laneHeight = std::clamp((height - P::LaneTop - P::LegendSpace) / rows, P::LaneHeight,
                              P::LaneHeight * 1.5);
    return l;
}

double SvgLayout::sectionHeight(int lanes) const {
    return height > 0 ? height : P::LaneTop + laneHeight * std::max(lanes, 3) + P::LegendSpace;
}

int sectionCount(const Model& model, const SvgLayout& layout) {
    const auto lanes = static_cast<int>(model.lanes.size());
    return std::max(1, (lanes + layout.lanesPerSection - 1) / layout.lanesPerSection);
}

int lanesIn(const Model& model, int section, const SvgLayout& layout) {
    const int first = section * layout.lanesPerSection;
    return std::clamp(static_cast<int>(model.lanes.size()) - first, 0, layout.lanesPerSection);
}

double chartHeight(const Model& model, const SvgLayout& layout) {
    const int last = sectionCount(model, layout) - 1;
    return layout.pitch() * last + layout.sectionHeight(lanesIn(model, last, layout));
}

double xOf(const Period& period, Minute minute, const SvgLayout& layout) {
    const double length = static_cast<double>(std::max<Minute>(period.end - period.begin, 1));
    return P::PlotLeft +
           (layout.plotRight() - P::PlotLeft) * static_cast<double>(minute - period.begin) / length;
}

int laneAt(const Model& model, double x, double y, const SvgLayout& layout) {
    const SvgLayout& L = layout;
    if (x < P::Margin || x > layout.plotRight() || y < 0) return -1;
    const auto section = static_cast<int>(y / layout.pitch());
    const double inSection = y - section * layout.pitch() - P::LaneTop;
    if (inSection < 0) return -1;
    const auto row = static_cast<int>(inSection / L.laneHeight);
    if (row >= layout.lanesPerSection) return -1;
    const int lane = section * layout.lanesPerSection + row;
    return lane < static_cast<int>(model.lanes.size()) ? lane : -1;
}

std::string renderSvg(const Model& model, const RegionalSettings& regional,
                      const ChartWords& words) {
    return Renderer(model, regional, words, SvgLayout{}).run();
}

std::string renderSvgSection(const Model& model, const RegionalSettings& regional, int section,
                             const ChartWords& words, const SvgLayout& layout) {
    return Renderer(model, regional, words, layout)
        .run(std::clamp(section, 0, sectionCount(model, layout) - 1));
}

std::string shortTimeFormat(const std::string& longTimeFormat) {
    std::string f = longTimeFormat;
    const std::size_t s = f.find_first_of("sS");
    if (s == std::string::npos) return f;
    std::size_t end = s;
    while (end < f.size() && (f[end] == 's' || f[end] == 'S'))
        ++end;
    std::size_t begin = s;
    // The separator before the seconds goes with them.
    if (begin > 0 && !std::isalpha(static_cast<unsigned char>(f[begin - 1]))) --begin;
    f.erase(begin, end - begin);
    return f;
}

std::string xmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                // XML 1.0 holds no control character but tab, line feed and carriage return.
                if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                    out += "\xEF\xBF\xBD";
                else
                    out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        // A well-formed UTF-8 character XML can hold, or U+FFFD for its first byte.
        const std::size_t len = text::utf8CharacterAt(text, i);
        const bool notCharacter = text.substr(i, len) == "\xEF\xBF\xBE" || // U+FFFE
                                  text.substr(i, len) == "\xEF\xBF\xBF";   // U+FFFF
        if (len == 0 || notCharacter) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

} // namespace vektrin::timeline
