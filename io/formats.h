// Every file layout of a run, defined once: the river descriptor, the output descriptors
// (header, parameter lines, extremes), the frequency tables and the images.
#pragma once

#include <array>
#include <string_view>

#include "io/out_file.h"
#include "lib/grid.h"
#include "lib/values.h"

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

// The six lines of a descriptor created by the dialog: lines, columns, 1, 0, 255, pixel size.
void write_river_descriptor(OutFile& f, int nb_lig, int nb_col, int pix_size);

// Output descriptor, header: the same six lines.
void write_descriptor_header(OutFile& f, int nb_lig, int nb_col, int pix_size);
// Output descriptor, the three parameter lines.
void write_parameter_lines(OutFile& f, int win_size, int slid_win, int MNC);
// Output descriptor, closing extremes.
void write_fdp_extremes(OutFile& f, double min, double max);
void write_taco_extremes(OutFile& f, double min, double max);

// Rows lo to hi of an FDP table: the extremes x 100, truncated; the range is cut to the 256
// bins, so it is empty (lo > hi) when it lies wholly outside them or no pixel was processed.
struct FdpRows {
    int lo;
    int hi;
};
FdpRows fdp_table_rows(double min_df, double max_df);

// FDP frequency table over the rows of the extremes `min_df` and `max_df`.
void write_fdp_table(OutFile& f, const Histogram& hist, double min_df, double max_df);
// TACO frequency table, rows 1 to 200.
void write_taco_table(OutFile& f, const Histogram& hist);
// R² frequency table, classes 0 to 1000.
void write_r2_table(OutFile& f, const R2Histogram& hist);

// An image: its rows in order, no header.
void write_image(OutFile& f, const ByteGrid& image);

}  // namespace ds
