// The first stage of a run: banner, explanation, the river and its descriptor, the output name,
// the type of treatment, the output file set with its descriptor headers, the full-size grids.
#pragma once

#include <string>

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

// Runs the first half of the dialog on `s.images_root` and fills `s`: the river, its
// descriptor (read, or created from the answers), the output name and the treatment. Every
// check comes before any grid is allocated or any output touched: a missing river raster ends
// the run with RunExit(0); a descriptor whose sizes cannot make a grid, or a folder where no
// file can be created, with RunExit(1). Throws FileError when the descriptor cannot be created.
void opening(RunState& s, Console& con);

}  // namespace ds
