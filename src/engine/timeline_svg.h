#pragma once
// The timeline drawn as an SVG document: one lane per task, the hours and days of the period, the
// windows, launches, made-up launches, silence periods and conflicts, and a legend. The lanes are
// cut into sections stacked one below the other. The saved document has A4 landscape pages of 60
// lanes; a window lays the sections out for its width, a printer for its paper.

#include "engine/timeline.h"
#include "platform/regional.h"

#include <functional>
#include <string>
#include <string_view>

namespace vektrin::timeline {

// The A4 landscape page of the saved document, in user units (CSS pixels: 96 to the inch; A4
// landscape is 297 by 210 mm). The text is 8 units high at every size.
struct SvgPage {
    static constexpr double Width = 1123;
    static constexpr double Height = 794;
    static constexpr double Margin = 28;
    static constexpr double PlotLeft = 248; // the lane names stand left of it
    static constexpr double PlotRight = Width - Margin;
    static constexpr double LaneTop = 96;
    static constexpr double LaneHeight = 10;
    static constexpr int LanesPerSection = 60;
    // Launches nearer to each other than this are drawn as one band.
    static constexpr double MinMarkDistance = 3;
    static constexpr double FontSize = 8;
    // Below the lanes: the gap before the legend, its rows (it wraps on a narrow page), the margin.
    static constexpr double LegendSpace = 30 + 3 * 14 + 20;
};

// The width and height of the sections: more width stretches the time axis, not the text.
struct SvgLayout {
    double width = SvgPage::Width;
    double height = SvgPage::Height; // of every section; 0: as high as its lanes need
    int lanesPerSection = SvgPage::LanesPerSection;
    double laneHeight = SvgPage::LaneHeight;

    // Narrower than this, the names and the axis would crowd each other.
    static constexpr double MinWidth = 640;

    // Pages of a paper's size: as many lanes on each as fit.
    static SvgLayout page(double width, double height);
    // A chart for a screen: sections of 60 lanes, each as high as its lanes need; a chart of a
    // few lanes makes them taller where the height allows.
    static SvgLayout screen(double width, double height = 0, int lanes = 0);

    double plotRight() const { return width - SvgPage::Margin; }
    // The height of a section of that many lanes, and where the section after a full one begins.
    double sectionHeight(int lanes) const;
    double pitch() const { return sectionHeight(lanesPerSection); }
    bool isA4() const { return width == SvgPage::Width && height == SvgPage::Height; }
    friend bool operator==(const SvgLayout&, const SvgLayout&) = default;
};

int sectionCount(const Model& model, const SvgLayout& layout = {});
// The lanes of a section and the height of the whole chart.
int lanesIn(const Model& model, int section, const SvgLayout& layout = {});
double chartHeight(const Model& model, const SvgLayout& layout = {});

// Where a minute's start lies on the time axis.
double xOf(const Period& period, Minute minute, const SvgLayout& layout = {});

// The lane (an index into model.lanes) drawn at a point of the document, or -1.
int laneAt(const Model& model, double x, double y, const SvgLayout& layout = {});

// The whole document. Dates and times on the axis and in the tooltips are written in the regional
// formats.
std::string renderSvg(const Model& model, const RegionalSettings& regional,
                      const ChartWords& words = {});

// One section alone, as a document of one page (what a window shows or a printer prints of it).
std::string renderSvgSection(const Model& model, const RegionalSettings& regional, int section,
                             const ChartWords& words = {}, const SvgLayout& layout = {});

// The short time format of the regional settings: the long one without its seconds.
std::string shortTimeFormat(const std::string& longTimeFormat);

// Text as XML character data or an attribute value: markup characters escaped, bytes that are
// not UTF-8 and characters XML cannot hold replaced by U+FFFD.
std::string xmlEscape(std::string_view text);

} // namespace vektrin::timeline
