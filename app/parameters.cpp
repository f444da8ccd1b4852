#include "app/parameters.h"

#include <cstddef>
#include <string>

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

void parameters(RunState& s, Console& con) {
    const int win_fract =
        ask_window_index(con, "\n\tSize of Window side used to calculate Fractal Dimension :");
    const int slid_win_val =
        ask_window_index(con, "\n\tSize of Window side (odd number) used for regional value :");
    int MNC = 0;
    do {
        MNC = con.ask_int("\n\tMaximum number of confluents in a meander (max 3) ? ");
    } while (MNC > 3);
    s.params.window = side_of(win_fract);
    s.params.regional = side_of(slid_win_val);
    s.params.mnc = MNC;
}

}  // namespace ds
