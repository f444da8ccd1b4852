// The values of a run's options as the command line and the Python module take them, and the
// words that name what a run does.
#pragma once

#include <optional>
#include <string>

#include "analysis/analysis.h"
#include "analysis/progress.h"

namespace ds {

// Why the text `text`, given for an option of a run, cannot be used, in the words of the command
// line ("14 is not a window side; the sides are 13, 25, ..."), or nothing when it can.
std::optional<std::string> side_problem(const std::string& text);        // --window, --regional
std::optional<std::string> mnc_problem(const std::string& text);         // --mnc
std::optional<std::string> threads_problem(const std::string& text);     // --threads
std::optional<std::string> treatment_problem(const std::string& text);   // --treatment
std::optional<std::string> engine_problem(const std::string& text);      // --engine
std::optional<std::string> pixel_size_problem(const std::string& text);  // --pixel-size

// The engine named `name`, once engine_problem has passed it.
Engine engine_of(const std::string& name);

// The name of a stage as progress lines and bars show it.
const char* stage_name(Progress::Stage stage);
// The stage's key in machine-readable progress: first_pass, fdp_regional1, fdp_regional2,
// smoothing.
const char* stage_key(Progress::Stage stage);

// The program and its version (program_version), and whether GeoTIFF input and output are built
// in.
std::string version_text();

}  // namespace ds
