#include "app/parameters.h"

#include <cstddef>
#include <string>

#include "io/formats.h"
#include "lib/window.h"

namespace ds {

namespace {

constexpr const char* kWindowMenu =
    "\n\t\t0 ====> 13\n\t\t1 ====> 25\n\t\t2 ====> 37\n\t\t3 ====> 49"
    "\n\t\t4 ====> 61\n\t\t5 ====> 73\n\t\t6 ====> 101\n\t\t7 ====> 121"
    "\n\t\t8 ====> 181\n\t\t9 ====> 211\n\t\t10 ====> 241\n\t\t11 ====> 661\n\t\t";

// A menu index, asked with `question` and the menu until it names a row.
int ask_window_index(Console& con, const char* question) {
    const std::string prompt = std::string(question) + kWindowMenu;
    for (;;) {
        const int index = con.ask_int(prompt);
        if (index >= 0 && index < static_cast<int>(kWindowSides.size()))
            return index;
    }
}

int side_of(int index) {
    return kWindowSides[static_cast<std::size_t>(index)];
}

}  // namespace

std::optional<int> window_index(int side) {
    for (std::size_t k = 0; k < kWindowSides.size(); ++k)
        if (kWindowSides[k] == side)
            return static_cast<int>(k);
    return std::nullopt;
}

void apply_parameters(RunState& s, int win_fract, int slid_index, int MNC) {
    s.win_fract = win_fract;
    s.win_size = side_of(win_fract);
    s.ic = half_side(s.win_size);
    s.jc = half_side(s.win_size);
    s.MinLab = 1;
    s.MaxLab = s.win_size * s.win_size;
    s.slid_win = side_of(slid_index);
    s.bord = half_side(s.slid_win);
    s.MNC = MNC;

    FileSet& fs = s.files;
    if (s.TACO_Solo == 1) {
        write_parameter_lines(fs.f2d, s.win_size, s.slid_win, s.MNC);
        write_parameter_lines(fs.f4d, s.win_size, s.slid_win, s.MNC);
    }
    write_parameter_lines(fs.f3d, s.win_size, s.slid_win, s.MNC);
    write_parameter_lines(fs.f5d, s.win_size, s.slid_win, s.MNC);
}

void parameters(RunState& s, Console& con) {
    const int win_fract =
        ask_window_index(con, "\n\tSize of Window side used to calculate Fractal Dimension :");
    const int slid_win_val =
        ask_window_index(con, "\n\tSize of Window side (odd number) used for regional value :");
    int MNC = 0;
    do {
        MNC = con.ask_int("\n\tMaximum number of confluents in a meander (max 3) ? ");
    } while (MNC > 3);
    apply_parameters(s, win_fract, slid_win_val, MNC);
}

}  // namespace ds
