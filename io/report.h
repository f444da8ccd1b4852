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

struct ReportInput {
    std::string name;                                             // generic output name
    std::vector<std::pair<std::string, std::string>> parameters;  // label, value
    std::vector<ReportExtremes> extremes;
    std::vector<QuickLook> pictures;
    std::vector<FrequencyTable> tables;
    std::optional<JointHistogram> fit;  // the FDP over all box sides against its R²
};

std::string base64(const std::vector<unsigned char>& bytes);

// How many screen pixels a picture of `rows` x `cols` shows per image pixel (at least 1): small
// rasters are enlarged so that they can be seen.
int display_scale(std::int64_t rows, std::int64_t cols);

// The page's HTML.
std::string report_html(const ReportInput& in);

}  // namespace ds
