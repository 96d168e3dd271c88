// e2e_parse_test.cpp - the built shell reading scripts: joining of
// continuation lines, a line that fails the check, the end of input, NUL
// bytes and long lines, mostly seen through the -s token listing. How a
// line splits into tokens, and where the check finds an error, the unit
// tests hold against the model; here the reader and the loop around them.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "model.h"

using namespace husk_test;
using namespace std::string_literals;

namespace {

// Every script of two lines drawn from these, then a line that comes after
// them, and the same two lines at the very end of the input, with no
// newline after the second, listed as the model of the loop says. Between
// them they hold each way a line goes on into the next (a quote left open,
// closed at the start of the next line or later; a final backslash; a last
// |, || or && with CR LF ends and blank lines after it), lines that fail
// the check, with and without text that goes on, and a NUL byte.
TEST(Listing, LinesJoinsAndEnds)
{
    const std::vector<std::string> lines = {
        "", " \t", "ls -l|wc\r", "echo 'a", "'b \"c", "\"d", "ls |", "ls &&\r",
        "& x", "| wc ||", "; ls &&", "echo a\\", "ls <\\", "a\0b"s,
    };
    for (const std::string &a : lines) {
        for (const std::string &b : lines) {
            for (const std::string &in : {a + "\n" + b + "\necho z\n", a + "\n" + b}) {
                SCOPED_TRACE(testing::PrintToString(in));
                run_result r = husk_run(in, {.args = {"-s"}});
                listing want = ref_listing(in);
                EXPECT_EQ(want.out, r.out);
                EXPECT_EQ(want.err, r.err);
                EXPECT_EQ(0, r.status);
            }
        }
    }
}

// Unfinished text at the end of a script is never run, finished text is;
// a line with a NUL byte is never run, nor a line that fails the check, nor
// the lines its text goes on into.
TEST(Running, EndOfInput)
{
    check_rows({
        {.script = "touch f; echo 'a", .err = msg_eoi, .files = {{"f", absent}}},
        {.script = "touch f &&\n", .err = msg_eoi, .files = {{"f", absent}}},
        {.script = "touch a\0; touch b\necho c\n"s, .out = "c\n", .err = msg_nul, .files = {{"a", absent}, {"b", absent}}},
        // a line that fails the check: its message, then the next line,
        // unless its text goes on: then the lines it goes on into are
        // dropped with it
        {.script = "; ls\necho ok\n", .out = "ok\n", .err = msg_unexpected(";")},
        {.script = "ls ;; wc &&\n\necho BAD ||\necho BAD 'a\nb\\'\\\necho BAD\necho ok\n", .out = "ok\n", .err = msg_unexpected(";")},
    });
}

TEST(Listing, LongLinesAndWords)
{
    std::string in;
    for (int n : {1022, 1023, 1024, 1025, 2047, 2048, 4095, 4096, 4097, 10000})
        in += std::string(n, 'a') + "\n";
    for (int i = 0; i < 120000; i++)  // a line of about 1 MiB of words
        in += std::to_string(i) + (i % 7 ? "xy " : "xy\t");
    std::string big(100000, 'q');
    big[500] = ' ';
    big[99000] = '|';
    in += "\necho \"" + big + "\"\n";
    run_result r = husk_run(in, {.args = {"-s"}});
    EXPECT_TRUE(r.out == ref_listing(in).out);
    EXPECT_EQ("", r.err);
}

TEST(Running, OnlyAnExactFirstDashSLists)
{
    const std::vector<std::pair<std::vector<std::string>, const char *>> cases = {
        {{}, "hi\n"}, {{"-s"}, "[echo] [hi]\n"}, {{"-s", "x"}, "[echo] [hi]\n"},
        {{"x", "-s"}, "hi\n"}, {{"-s2"}, "hi\n"}, {{"-S"}, "hi\n"}, {{"--s"}, "hi\n"},
        {{" -s"}, "hi\n"}, {{""}, "hi\n"},
    };
    std::vector<e2e_row> rows;
    for (const auto &[args, out] : cases)
        rows.push_back({.script = "echo hi\n", .run = {.args = args}, .out = out});
    check_rows(rows);
}

// Runs a script whose first line is "echo ok" after `n` blanks (a line
// of n + 7 characters), and whose second is "echo next".
run_result run_line_of(long n)
{
    std::string feed = "head -c " + std::to_string(n) + " /dev/zero | tr '\\0' ' '; printf 'echo ok\\necho next\\n'";
    return husk_run("", {.feed = feed, .timeout_ms = 120000});
}

// Takes a few seconds and about 1 GiB in the shell for each of the two runs.
TEST(Running, LineLimitIsExactSlow)
{
    constexpr long max = (1L << 30) - 1;
    run_result r = run_line_of(max - 7);
    EXPECT_EQ("ok\nnext\n", r.out);
    EXPECT_EQ("", r.err);
    r = run_line_of(max - 6);
    EXPECT_EQ("next\n", r.out);
    EXPECT_EQ("Error: line longer than 1073741823 characters; skipped.\n", r.err);
    EXPECT_EQ(0, r.status);
}

}  // namespace
