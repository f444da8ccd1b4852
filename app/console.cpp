#include "app/console.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <termios.h>
#include <unistd.h>
#define DRAINSHAPE_HAVE_TERMIOS 1
#endif

namespace ds {

std::optional<int> parse_whole_number(std::string_view word) {
    if (word.empty())
        return std::nullopt;
    std::size_t start = 0;
    if (word[0] == '+' || word[0] == '-')
        start = 1;
    if (start == word.size())
        return std::nullopt;
    for (std::size_t k = start; k < word.size(); ++k)
        if (word[k] < '0' || word[k] > '9')
            return std::nullopt;
    // from_chars takes a minus sign but not a plus sign.
    const char* first = word.data() + (word[0] == '+' ? 1 : 0);
    const char* last = word.data() + word.size();
    int value = 0;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last)
        return std::nullopt;
    return value;
}

Console::Console(std::istream& in, std::ostream& out, std::ostream& err, bool interactive)
    : in_(in), out_(out), err_(err), interactive_(interactive) {}

void Console::print(std::string_view text) {
    out_ << text;
    out_.flush();
}

void Console::printf(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        std::vector<char> text(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        print(std::string_view(text.data(), static_cast<std::size_t>(n)));
    }
    va_end(again);
}

void Console::input_ended() {
    err_ << "\n\tInput ended before the dialog was complete.\n";
    err_.flush();
    throw RunExit(kInputEndedStatus);
}

std::string Console::read_word() {
    out_.flush();
    std::string word;
    if (!(in_ >> word))
        input_ended();
    return word;
}

std::optional<int> Console::read_int() {
    const std::string word = read_word();
    if (auto v = parse_whole_number(word))
        return v;
    print("\n\tPlease answer with a whole number.\n");
    in_.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    return std::nullopt;
}

int Console::ask_int(std::string_view prompt) {
    for (;;) {
        print(prompt);
        if (const auto v = read_int())
            return *v;
    }
}

void Console::getch() {
    out_.flush();
    if (!interactive_)
        return;
#ifdef DRAINSHAPE_HAVE_TERMIOS
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0)
        return;
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0)
        return;
    char key = 0;
    [[maybe_unused]] const auto n = ::read(STDIN_FILENO, &key, 1);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
#else
    in_.get();
#endif
}

}  // namespace ds
