// Every file layout of a run, defined once: the river descriptor, the output descriptors
// (header, parameter lines, extremes), the frequency tables and the images.
#pragma once

#include <string>
#include <string_view>

#include "analysis/analysis.h"
#include "analysis/tables.h"
#include "io/out_file.h"
#include "io/rows_file.h"
#include "lib/grid.h"

namespace ds {

// The six integers of a river descriptor; those that cannot be read stay 0.
struct RiverDescriptor {
    int nb_lig = 0;
    int nb_col = 0;
    int val = 0;
    int mind = 0;
    int maxd = 0;
    int pix_size = 0;
    int read = 0;  // how many of the six were read
};

// Reads up to six whitespace-separated decimal integers, stopping at the first word that does
// not start with one (as a scanf("%d") chain does); anything after the sixth is ignored.
RiverDescriptor parse_descriptor(std::string_view text);

// The descriptor file at `path`, of which only the first 64 KiB are read (six integers take a
// few bytes; a device or a huge file must not hang the run), or nothing when it cannot be
// opened.
std::optional<RiverDescriptor> read_descriptor(const std::string& path);

// The six lines of a river descriptor, and of the header of every output descriptor: lines,
// columns, 1, 0, 255, pixel size.
std::string descriptor_header(int nb_lig, int nb_col, int pix_size);

// The whole descriptor of an image product of `river`: the header with the river's size and
// pixel size, the parameter lines when the product has them, its extremes.
std::string descriptor_text(const RiverDescriptor& river, const AnalysisParameters& p,
                            const ImageProduct& product);

// A frequency table: its header line and its rows.
void write_table(OutFile& f, const FrequencyTable& table);

// An image: its rows in order, no header.
void write_image(OutFile& f, const ByteGrid& image);

// The raster rows `rows` of an image file written by parts, from `image`, which holds the
// raster's rows from `first` on, at their place in the file.
void write_image_rows(RowsFile& f, const ByteGrid& image, std::int64_t first, RowRange rows);

}  // namespace ds
