#include "drainshape/options.h"

#include <CLI/CLI.hpp>

#include "gis/module.h"

namespace ds {

namespace {

// The value of an option as CLI11 passes it to a check, as a whole number.
std::optional<int> whole(const std::string& text) {
    int v = 0;
    if (!CLI::detail::lexical_cast(text, v))
        return std::nullopt;
    return v;
}

std::optional<std::string> range_problem(const std::string& text, int lo, int hi,
                                         const char* what) {
    const auto v = whole(text);
    if (v && *v >= lo && *v <= hi)
        return std::nullopt;
    return text + " is not " + what;
}

std::optional<std::string> word_problem(const std::string& text, const char* a, const char* b,
                                        const char* what) {
    if (text == a || text == b)
        return std::nullopt;
    return "'" + text + "' is not " + what + "; use " + a + " or " + b;
}

}  // namespace

std::optional<std::string> side_problem(const std::string& text) {
    const auto v = whole(text);
    if (!v)
        return text + " is not a window side; the sides are " + menu_sides();
    return window_side_problem(*v);
}

std::optional<std::string> mnc_problem(const std::string& text) {
    return range_problem(text, 0, 3, "a number of confluents from 0 to 3");
}

std::optional<std::string> threads_problem(const std::string& text) {
    return range_problem(text, 0, 4096, "a number of threads (0 for every core, up to 4096)");
}

std::optional<std::string> treatment_problem(const std::string& text) {
    return word_problem(text, "taco", "both", "a treatment");
}

std::optional<std::string> engine_problem(const std::string& text) {
    return word_problem(text, "fast", "reference", "an engine");
}

std::optional<std::string> pixel_size_problem(const std::string& text) {
    return range_problem(text, 0, 2147483647, "a pixel size (a whole number from 0)");
}

Engine engine_of(const std::string& name) {
    return name == "reference" ? Engine::Reference : Engine::Fast;
}

namespace {

// Per stage, in the order of Progress::Stage: as the lines and the bar show it, and its key.
struct StageNames {
    const char* name;
    const char* key;
};
constexpr StageNames kStageNames[] = {{"first pass", "first_pass"},
                                      {"FDP regional means", "fdp_regional1"},
                                      {"FDP regional means (2)", "fdp_regional2"},
                                      {"TACO smoothing", "smoothing"}};

}  // namespace

const char* stage_name(Progress::Stage stage) {
    return kStageNames[static_cast<int>(stage)].name;
}

const char* stage_key(Progress::Stage stage) {
    return kStageNames[static_cast<int>(stage)].key;
}

std::string version_text() {
    std::string text = program_version();
    if (!have_gdal())
        text += "\nGeoTIFF input and output: not built in (built without GDAL)";
    else if (const std::string module = gis_module_path(); module.empty())
        text += "\nGeoTIFF input and output: GDAL " + gdal_release() + ", but its module " +
                kGisModuleFile + " is missing";
    else
        text += "\nGeoTIFF input and output: GDAL " + gdal_release() + ", loaded when used from " +
                module;
    return text;
}

}  // namespace ds
