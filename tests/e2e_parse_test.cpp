// e2e_parse_test.cpp - the built shell reading scripts: joining of
// continuation lines, a line that fails the check, the end of input, odd
// bytes and long lines, mostly seen through the -s token listing. How a
// line splits into tokens, and where the check finds an error, the unit
// tests hold against the model; here the reader and the loop around them.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "model.h"

using namespace husk_test;
using namespace std::string_literals;

namespace {

// The rows, each listed with -s.
std::vector<e2e_row> listed(std::vector<e2e_row> rows)
{
    for (e2e_row &r : rows)
        r.run.args = {"-s"};
    return rows;
}

TEST(Listing, LinesJoinsAndEnds)
{
    check_rows(listed({
        // a line each; blank lines list nothing
        {.script = "ls -l|wc\n \t \n\n  ls  \n", .out = "[ls] [-l] [|] [wc]\n[ls]\n"},
        // inside quotes and after a backslash, continuation lines are
        // joined with nothing between them; after an operator, the next
        // line starts a new token
        {.script = "echo 'a\nb'\n", .out = "[echo] [ab]\n"},
        {.script = "echo \"a\n\nb\nc\"\n", .out = "[echo] [abc]\n"},
        {.script = "echo 'a\n'b \"c\n\"d\n", .out = "[echo] [ab] [cd]\n"},
        {.script = "ls |\nwc\nls ||\nwc\nls &&\n\nwc\n", .out = "[ls] [|] [wc]\n[ls] [||] [wc]\n[ls] [&&] [wc]\n"},
        {.script = "ls |\n| wc\nls ||\n|| wc\nls <\\\n> f\n", .err = msg_unexpected("|") + msg_unexpected("||") + msg_unexpected(">")},
        {.script = "echo a\\\nb\necho a\\\n| wc\n", .out = "[echo] [a] [b]\n[echo] [a] [|] [wc]\n"},
        // a line that fails the check: its message, then the next line
        {.script = "ls |\n; wc\necho ok\n", .out = "[echo] [ok]\n", .err = msg_unexpected(";")},
        // end of input
        {.script = ""},
        {.script = "echo a", .out = "[echo] [a]\n"},
        {.script = "echo a\\", .out = "[echo] [a]\n"},
        {.script = "echo a\\\n", .out = "[echo] [a]\n"},
        {.script = "echo a\\\nb", .out = "[echo] [a] [b]\n"},
        {.script = "echo 'a\n", .err = msg_eoi},
        {.script = "echo 'a\nb", .err = msg_eoi},
        {.script = "ls |", .err = msg_eoi},
        {.script = "ls ||\n", .err = msg_eoi},
        {.script = "ls &&\n\n", .err = msg_eoi},
        {.script = "ls <\\", .err = msg_unexpected("<")},
        // a line that holds a NUL is dropped, with the lines it continues
        {.script = "echo a\0b c\necho d\n"s, .out = "[echo] [d]\n", .err = msg_nul},
        {.script = "\0; ls\necho d\n"s, .out = "[echo] [d]\n", .err = msg_nul},
        {.script = "echo 'a\nb\0'\necho d\n"s, .out = "[echo] [d]\n", .err = msg_nul},
        {.script = "echo d\necho a\0"s, .out = "[echo] [d]\n", .err = msg_nul},
        // CR LF line ends
        {.script = "echo a\r\nls |\r\nwc\r\n", .out = "[echo] [a]\n[ls] [|] [wc]\n"},
    }));
}

// Unfinished text at the end of a script is never run, finished text is;
// a line with a NUL byte is never run, nor a line that fails the check, nor
// the lines its text goes on into.
TEST(Running, EndOfInput)
{
    const std::string bar = msg_unexpected("|");
    check_rows({
        {.script = "echo hi", .out = "hi\n"},
        {.script = "touch f; echo 'a", .err = msg_eoi, .files = {{"f", absent}}},
        {.script = "touch f &&\n", .err = msg_eoi, .files = {{"f", absent}}},
        {.script = "touch a\0; touch b\necho c\n"s, .out = "c\n", .err = msg_nul, .files = {{"a", absent}, {"b", absent}}},
        // a line that fails the check: its message, then the next line
        {.script = "; ls\necho ok\n", .out = "ok\n", .err = msg_unexpected(";")},
        // an open quote, a last |, a final backslash, a chain of them
        {.script = "ls | | echo 'a\necho BAD' ; echo 'x\n'\necho ok\n", .out = "ok\n", .err = bar},
        {.script = "echo a | | wc |\necho BAD\necho ok\n", .out = "ok\n", .err = bar},
        {.script = "echo a &&& echo b\\\necho BAD\necho ok\n", .out = "ok\n", .err = msg_unexpected("&")},
        {.script = "ls ;; wc &&\n\necho BAD ||\necho BAD 'a\nb\\'\\\necho BAD\necho ok\n", .out = "ok\n", .err = msg_unexpected(";")},
        // nothing left open: the next line is new; the input ends meanwhile
        {.script = "ls | | wc |;\necho ok &&&\necho ok\n", .out = "ok\n", .err = bar + msg_unexpected("&")},
        {.script = "ls | | wc 'a\necho BAD", .err = bar},
        {.script = "ls | | wc |\n", .run = {.args = {"-s"}}, .err = bar},
        {.script = "ls | | 'a\nb\0'\necho ok\n"s, .out = "ok\n", .err = bar + msg_nul},
    });
}

// Every byte but newline, NUL and the quotes, between two letters.
TEST(Listing, EveryByteBetweenTwoLetters)
{
    std::string in;
    for (int c = 1; c < 256; c++)
        if (c != '\n' && c != '\'' && c != '"')
            in += "x"s + static_cast<char>(c) + "y\n";
    run_result r = husk_run(in, {.args = {"-s"}});
    EXPECT_EQ(ref_listing(in).out, r.out);
    EXPECT_EQ("", r.err);
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

    r = husk_run("echo a" + std::string(1 << 20, ' ') + "b\necho '" + big + "'\n");
    EXPECT_TRUE(r.out == "a b\n" + big + "\n");
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
