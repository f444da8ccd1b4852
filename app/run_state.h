// What the dialog gathers: the river, its descriptor, the output name and the parameters.
#pragma once

#include <string>

#include "analysis/analysis.h"
#include "io/formats.h"

namespace ds {

struct RunState {
    std::string images_root;  // the directory under which the folders lie
    std::string river_raw;    // nomim1
    std::string river_txt;    // nomdescr1
    std::string output_base;  // folder path + generic output name
    std::string nomfic1;      // the generic output name
    RiverDescriptor river;    // as read or created; the pixel size as the run uses it
    AnalysisParameters params;
};

}  // namespace ds
