// The dialog's answer reader on any input: the questions of the parameters stage, then every
// remaining word read as a number and as a name, until the input ends.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "app/console.h"
#include "app/opening.h"
#include "app/parameters.h"
#include "app/run_state.h"
#include "fuzz/fuzz_check.h"
#include "io/out_file.h"
#include "lib/window.h"

namespace {

constexpr const char* kInputEnded = "\n\tInput ended before the dialog was complete.\n";

void check_parameters(const ds::RunState& s) {
    FUZZ_CHECK(s.win_fract >= 0 && s.win_fract < static_cast<int>(ds::kWindowSides.size()));
    FUZZ_CHECK(s.win_size == ds::kWindowSides[static_cast<std::size_t>(s.win_fract)]);
    FUZZ_CHECK(s.ic == (s.win_size - 1) / 2 && s.jc == s.ic);
    FUZZ_CHECK(s.MaxLab == s.win_size * s.win_size);
    bool in_menu = false;
    for (int side : ds::kWindowSides)
        in_menu = in_menu || side == s.slid_win;
    FUZZ_CHECK(in_menu && s.bord == (s.slid_win - 1) / 2);
    FUZZ_CHECK(s.MNC <= 3);
}

void check_name(const std::string& word) {
    if (ds::output_name_problem(word))
        return;
    FUZZ_CHECK(word.find('/') == std::string::npos && word.find('\\') == std::string::npos);
    for (char c : word)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream out;
    std::ostringstream err;
    ds::Console con(in, out, err, false);

    ds::RunState s;
    s.TACO_Solo = size > 0 ? data[0] & 1 : 0;
    for (ds::OutFile* f : {&s.files.f2d, &s.files.f3d, &s.files.f4d, &s.files.f5d})
        *f = ds::OutFile("/dev/null", ds::OutFile::Mode::Text);

    // Every read consumes a word or ends the input, so the loop ends.
    try {
        ds::parameters(s, con);
        check_parameters(s);
        for (;;) {
            con.read_int();
            check_name(con.read_word());
        }
    } catch (const ds::RunExit& e) {
        FUZZ_CHECK(e.status() == ds::kInputEndedStatus);
        FUZZ_CHECK(err.str() == kInputEnded);
    }
    return 0;
}
