// The state of one run, shared by its four stages: raster description, parameters, the
// full-size grids and the open files.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "io/out_file.h"
#include "lib/grid.h"

namespace ds {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f != nullptr)
            std::fclose(f);
    }
};
using InFile = std::unique_ptr<std::FILE, FileCloser>;

// The output handles, named after their path buffers: f2 "_FDP_RI", f3 "_TAC_DN", f4
// "_FDP_DN", f5 "_TAC_RI", f6 "_FDP_DN2", f7 "_FDP_RI2"; `d` the descriptor, `x` the table;
// f_0x and f_1x the R² tables. The FDP files are open only for a run of both treatments.
struct FileSet {
    OutFile f2, f2d, f2x;
    OutFile f3, f3d, f3x;
    OutFile f4, f4d, f4x;
    OutFile f5, f5d, f5x;
    OutFile f6, f6d, f6x;
    OutFile f7, f7d, f7x;
    OutFile f_0x, f_1x;

    // Files created and not completely written (still open, or cut short by a failed write), in
    // the order of creation.
    std::vector<std::string> unfinished() const {
        std::vector<std::string> out;
        for (const OutFile* f : {&f2,  &f2d, &f2x, &f3,  &f3d, &f3x, &f4,  &f4d, &f4x,  &f5,
                                 &f5d, &f5x, &f6,  &f6d, &f6x, &f7,  &f7d, &f7x, &f_0x, &f_1x})
            if (f->incomplete())
                out.push_back(f->path());
        return out;
    }
};

// The literal algorithms, or the fast engine that writes the same files.
enum class Engine { Reference, Fast };

struct RunState {
    Engine engine = Engine::Fast;
    int threads = 0;  // worker threads of the fast engine; 0: every core

    // Raster description (the river descriptor).
    int nb_lig = 0;
    int nb_col = 0;
    int val = 0;
    int mind = 0;
    int maxd = 0;
    int pix_size = 0;

    // Parameters.
    int TACO_Solo = 0;  // 0: TACO only, 1: FD and TACO
    int win_fract = 0;  // menu index of the analysis window
    int win_size = 0;
    int ic = 0;
    int jc = 0;
    int slid_win = 0;
    int bord = 0;
    int MNC = 0;
    int MinLab = 0;
    int MaxLab = 0;

    // Paths.
    std::string images_root;  // the directory under which the folders lie
    std::string river_raw;    // nomim1
    std::string river_txt;    // nomdescr1
    std::string output_base;  // folder path + generic output name

    // Full-size grids, nb_lig x nb_col.
    ByteGrid tab;
    RealGrid dtab, dtab2, dtab3, dtab_v2;
    ByteGrid tab_out, tab_out2, tab_dn_out, tab_dn_out2;

    InFile f1;  // the river raster, open from `opening` to `lecture`
    FileSet files;
};

}  // namespace ds
