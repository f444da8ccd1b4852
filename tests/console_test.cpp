// Answers read by the console.
#include "app/console.h"

#include <gtest/gtest.h>

#include <sstream>

namespace ds {
namespace {

TEST(WholeNumber, SignAndDigitsWithinInt) {
    EXPECT_EQ(parse_whole_number("0"), 0);
    EXPECT_EQ(parse_whole_number("+7"), 7);
    EXPECT_EQ(parse_whole_number("-12"), -12);
    EXPECT_EQ(parse_whole_number("007"), 7);
    EXPECT_EQ(parse_whole_number("2147483647"), 2147483647);
    EXPECT_EQ(parse_whole_number("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", "+", "-", "abc", "12abc", "1.5", "2147483648", "-2147483649",
                            "99999999999999999999", "+-1", "--1", "1e3", "0x10", " 1", "٣"})
        EXPECT_FALSE(parse_whole_number(bad)) << bad;
}

struct Streams {
    explicit Streams(const std::string& input) : in(input), con(in, out, err, false) {}
    std::istringstream in;
    std::ostringstream out, err;
    Console con;
};

TEST(Console, ANonNumberIsRemindedAndTheRestOfItsLineDropped) {
    Streams s("abc 5 6\n  7 8\n");
    EXPECT_FALSE(s.con.read_int());
    EXPECT_EQ(s.out.str(), "\n\tPlease answer with a whole number.\n");
    EXPECT_EQ(s.con.read_int(), 7);
    EXPECT_EQ(s.con.read_int(), 8);
}

TEST(Console, AskRepeatsThePromptUntilANumber) {
    Streams s("x\ny z\n-3\n");
    EXPECT_EQ(s.con.ask_int("Q? "), -3);
    EXPECT_EQ(s.out.str(),
              "Q? \n\tPlease answer with a whole number.\nQ? \n\tPlease answer with a whole "
              "number.\nQ? ");
}

TEST(Console, EndOfInputEndsTheRunWithStatusTwo) {
    Streams s("word\n  \n");
    EXPECT_EQ(s.con.read_word(), "word");
    try {
        (void)s.con.read_int();
        FAIL() << "expected RunExit";
    } catch (const RunExit& e) {
        EXPECT_EQ(e.status(), 2);
    }
    EXPECT_EQ(s.err.str(), "\n\tInput ended before the dialog was complete.\n");
    // A bad last word is dropped with its line; the question asked again meets the end.
    Streams last("abc");
    EXPECT_FALSE(last.con.read_int());
    EXPECT_THROW(last.con.ask_int("Q? "), RunExit);
}

TEST(Console, KeyPressOffATerminalConsumesNothing) {
    Streams s("4\n");
    s.con.getch();
    EXPECT_EQ(s.con.read_int(), 4);
}

}  // namespace
}  // namespace ds
