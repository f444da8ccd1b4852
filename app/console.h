// The console of the dialog: prompts out, answers in, and a key press.
//
// Every printed text is flushed at once, so a prompt is on screen before its answer is read.
// End of input in the middle of the dialog is reported on the error stream and ends the run
// through RunExit, which the entry turns into the exit status.
#pragma once

#include <exception>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace ds {

// Ends the run with `status` once the stages have unwound; any message is already printed.
class RunExit : public std::exception {
  public:
    explicit RunExit(int status) : status_(status) {}
    int status() const { return status_; }
    const char* what() const noexcept override { return "run ended"; }

  private:
    int status_;
};

// Exit status of a dialog cut short by the end of its input.
inline constexpr int kInputEndedStatus = 2;

// A whole number as the dialog accepts it: an optional sign and digits, the value within int.
std::optional<int> parse_whole_number(std::string_view word);

class Console {
  public:
    // `interactive`: `in` is a terminal, so a key press can be waited for.
    Console(std::istream& in, std::ostream& out, std::ostream& err, bool interactive);

    void print(std::string_view text);
    [[gnu::format(printf, 2, 3)]] void printf(const char* format, ...);
    std::ostream& out() { return out_; }
    std::ostream& err() { return err_; }

    // The next whitespace-separated word. Throws RunExit at the end of input.
    std::string read_word();
    // The next word as a whole number. When it is not one, prints the reminder, drops the rest
    // of its input line and returns nothing: the caller asks its question again.
    // Throws RunExit at the end of input.
    std::optional<int> read_int();
    // Prints `prompt` and reads a whole number, both again until one is given.
    int ask_int(std::string_view prompt);

    // Waits for one key, without echo, on a terminal; otherwise returns at once and consumes
    // nothing.
    void getch();

  private:
    [[noreturn]] void input_ended();

    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
    bool interactive_;
};

}  // namespace ds
