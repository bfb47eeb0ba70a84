#pragma once
// The timeline drawn as an SVG document: one lane per task, the hours and days of the period, the
// windows, launches, silence periods and conflicts, and a legend. Each section is one A4
// landscape page of at most 60 lanes, stacked one below the other, so that a print gives one
// page per section and the window, the file and the printer show the same picture.

#include "engine/timeline.h"
#include "platform/regional.h"

#include <functional>
#include <string>
#include <string_view>

namespace vektrin::timeline {

// The page in user units (CSS pixels: 96 to the inch; A4 landscape is 297 by 210 mm).
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
};

int sectionCount(const Model& model);

// Where a minute's start lies on the time axis.
double xOf(const Period& period, Minute minute);

// The lane (an index into model.lanes) drawn at a point of the document, or -1.
int laneAt(const Model& model, double x, double y);

// The whole document. Dates and times on the axis and in the tooltips are written in the regional
// formats.
std::string renderSvg(const Model& model, const RegionalSettings& regional,
                      const ChartWords& words = {});

// One section alone, as a document of one page (what a window shows or a printer prints of it).
std::string renderSvgSection(const Model& model, const RegionalSettings& regional, int section,
                             const ChartWords& words = {});

// The short time format of the regional settings: the long one without its seconds.
std::string shortTimeFormat(const std::string& longTimeFormat);

// Text as XML character data or an attribute value: markup characters escaped, bytes that are
// not UTF-8 and characters XML cannot hold replaced by U+FFFD.
std::string xmlEscape(std::string_view text);

} // namespace vektrin::timeline
