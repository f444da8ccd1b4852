#include "analysis/analysis.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "lib/window.h"

namespace ds {

const char* engine_name(Engine e) {
    return e == Engine::Reference ? "reference" : "fast";
}

std::string menu_sides() {
    std::string text;
    for (std::size_t k = 0; k < kWindowSides.size(); ++k) {
        if (k > 0)
            text += k + 1 == kWindowSides.size() ? " or " : ", ";
        text += std::to_string(kWindowSides[k]);
    }
    return text;
}

std::string program_version() {
    return "drainshape " DRAINSHAPE_VERSION;
}

std::vector<std::pair<std::string, std::string>> provenance(const AnalysisParameters& p) {
    return {{"program", program_version()},
            {"engine", engine_name(p.engine)},
            {"treatment", p.both() ? "both" : "taco"},
            {"window", std::to_string(p.window)},
            {"regional", std::to_string(p.regional)},
            {"mnc", std::to_string(p.mnc)}};
}

std::optional<std::string> window_side_problem(int side) {
    if (std::find(kWindowSides.begin(), kWindowSides.end(), side) != kWindowSides.end())
        return std::nullopt;
    return std::to_string(side) + " is not a window side; the sides are " + menu_sides();
}

std::optional<std::string> parameters_problem(const AnalysisParameters& p) {
    if (auto problem = window_side_problem(p.window))
        return problem;
    if (auto problem = window_side_problem(p.regional))
        return problem;
    // The dialog asks again only above 3: a negative MNC counts as 0.
    if (p.mnc > 3)
        return std::to_string(p.mnc) + " is not a number of confluents from 0 to 3";
    if (p.treatment != Treatment::Taco && p.treatment != Treatment::Both)
        return "the treatment is TACO alone or both";
    if (p.threads < 0)
        return std::to_string(p.threads) + " is not a number of threads";
    return std::nullopt;
}

int worker_threads(int requested) {
    if (requested > 0)
        return requested;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

}  // namespace ds
