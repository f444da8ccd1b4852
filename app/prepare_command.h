// `drainshape prepare SOURCE -o OUT`: a network raster the analysis can trust, from river lines
// or from a stream raster: drawn or read, made one pixel wide, written as OUT.tif or as OUT.raw
// with OUT.txt, and summarized as `check` does.
#pragma once

#include <array>
#include <optional>
#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace ds {

struct PrepareOptions {
    std::string source;  // river lines (any vector format GDAL reads), or a stream raster
    std::string out;     // OUT.tif or OUT.raw
    // River lines.
    std::optional<std::string> layer;
    std::optional<std::string> where;
    std::optional<double> pixel_size;
    std::optional<std::string> t_srs;
    std::optional<std::array<double, 4>> extent;  // xmin, ymin, xmax, ymax
    std::optional<std::string> like;
    // A stream raster: the network value; none: every value but 0 and NoData.
    std::optional<double> value;
    bool json = false;
};

// Registers `prepare` on `app`, its options stored into `o`.
CLI::App* add_prepare_subcommand(CLI::App& app, PrepareOptions& o);

// Writes OUT and prints its summary on `out`; messages go to `err`. Returns 0; kUsageStatus
// for options that cannot be used; 1 for a file that cannot be read or written. Nothing is
// left under OUT's name unless it is complete.
int prepare_command(const PrepareOptions& o, std::ostream& out, std::ostream& err);

}  // namespace ds
