// report.html: one self-contained page with the run's parameters and extremes, the quick-look
// pictures with their colour scales and a histogram of every frequency table.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/preview.h"

namespace ds {

struct ReportInput {
    std::string name;         // generic output name
    std::string output_base;  // folder + name: the descriptors and tables are read from here
    bool both = true;         // both treatments
    std::vector<std::pair<std::string, std::string>> parameters;  // label, value
    std::vector<QuickLook> pictures;
};

// One row of a frequency table: the class and its number of pixels.
struct TableRow {
    double value = 0;
    double count = 0;
};

// The rows of a frequency table's text (its header line skipped).
std::vector<TableRow> parse_table(std::string_view text);

// The minimum and maximum lines of a descriptor's text, when it has them.
struct Extremes {
    bool found = false;
    double min = 0;
    double max = 0;
};
Extremes parse_extremes(std::string_view descriptor);

std::string base64(const std::vector<unsigned char>& bytes);

// How many screen pixels a picture of `rows` x `cols` shows per image pixel (at least 1): small
// rasters are enlarged so that they can be seen.
int display_scale(std::int64_t rows, std::int64_t cols);

// The page's HTML.
std::string report_html(const ReportInput& in);

// Writes the page to `path`. Throws FileError.
void write_report(const std::string& path, const ReportInput& in);

}  // namespace ds
