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
#include "io/output_set.h"

namespace {

constexpr const char* kInputEnded = "\n\tInput ended before the dialog was complete.\n";

void check_parameters(const ds::RunState& s) {
    // Whatever was typed, the answers make parameters that the analysis takes.
    FUZZ_CHECK(!ds::parameters_problem(s.params));
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
    s.params.treatment = size > 0 && (data[0] & 1) ? ds::Treatment::Both : ds::Treatment::Taco;

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
