// The first stage of a run: banner, explanation, the river and its descriptor, the output name,
// the type of treatment, the output file set with its descriptor headers, the full-size grids.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/console.h"
#include "app/run_state.h"

namespace ds {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The directory under which the folders lie: `option` (--images), else `env`
// (DRAINSHAPE_IMAGES), else the images directory of `home`; null or empty values are skipped.
// Trailing separators are dropped.
std::string choose_images_root(const char* option, const char* env, const char* home);

// The first output path, among the images and descriptors of either treatment at `base` and
// `base` + each of `more_suffixes`, that is one of `river_files`; with that river file.
std::optional<std::pair<std::string, std::string>> replaced_river_file(
    const std::string& base, const std::vector<std::string>& river_files,
    const std::vector<std::string>& more_suffixes = {});

// Bytes per raster pixel of the full-size grids that an engine allocates.
std::int64_t grid_bytes_per_pixel(Engine engine);

// Creates the output files of s.TACO_Solo at s.output_base, each descriptor with its header
// (s.nb_lig, s.nb_col, s.pix_size), after allocating the full-size grids of s.engine.
// Throws FileError when a file cannot be created and GridAllocError when memory is refused.
void create_outputs(RunState& s);

// Why `nomfic1`, typed as a generic output name, cannot name the results, or nothing when it
// can. The results lie beside the river: a name holds no path separator ('/' or '\\', whatever
// the platform), no control character, and leaves room for the longest suffix within the 255
// bytes of a file name.
std::optional<std::string> output_name_problem(std::string_view nomfic1);

// Runs the first half of the dialog on `s.images_root` and fills `s`. A missing river raster
// ends the run with RunExit(0); a descriptor whose sizes cannot make a grid with RunExit(1).
// Throws FileError when a file cannot be created and GridAllocError when memory is refused.
void opening(RunState& s, Console& con);

}  // namespace ds
