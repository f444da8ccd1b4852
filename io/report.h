// report.html: one self-contained page with the run's parameters and extremes, the quick-look
// pictures with their colour scales, a histogram of every frequency table and, for a run of both
// treatments, the fractal dimension against the R² of its fits, all taken from memory.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/field_summaries.h"
#include "analysis/tables.h"
#include "io/preview.h"

namespace ds {

struct ReportExtremes {
    std::string label;  // "TACO"
    double min = 0;
    double max = 0;
};

// A drainage system as the report lists it, with the means of the run's fields over its pixels.
struct ReportSystem {
    std::int32_t id = 0;
    std::int64_t pixels = 0;
    double length = 0;  // in the units of the pixel size
    std::int32_t segments = 0;
    std::int32_t ends = 0;
    std::int32_t junctions = 0;
    std::int32_t loops = 0;
    std::optional<double> taco;
    std::optional<double> meander_share;  // of the pixels with a TACO value
    std::optional<double> fdp;            // both treatments only
    std::optional<double> fdp2;
};

// The segments coloured by their mean TACO, and the largest drainage systems.
struct ReportSegments {
    std::vector<unsigned char> png;
    std::int64_t rows = 0;
    std::int64_t cols = 0;
    Palette palette{};                 // the two-sided TACO map of the network image
    std::optional<ValueRange> values;  // of the segments' mean TACO
    double pixel_size = 1;
    bool both = false;
    std::int64_t systems = 0;
    std::int64_t segments = 0;
    std::int64_t pixels = 0;
    std::vector<ReportSystem> largest;
};

struct ReportInput {
    std::string name;                                             // generic output name
    std::vector<std::pair<std::string, std::string>> parameters;  // label, value
    std::vector<ReportExtremes> extremes;
    std::vector<QuickLook> pictures;
    std::vector<FrequencyTable> tables;
    std::optional<JointHistogram> fit;  // the FDP over all box sides against its R²
    std::optional<ReportSegments> segments;
};

std::string base64(const std::vector<unsigned char>& bytes);

// How many screen pixels a picture of `rows` x `cols` shows per image pixel (at least 1): small
// rasters are enlarged so that they can be seen.
int display_scale(std::int64_t rows, std::int64_t cols);

// The page's HTML.
std::string report_html(const ReportInput& in);

}  // namespace ds
