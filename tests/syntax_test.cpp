// syntax_test.cpp - the syntax check: its answers, the exact token an error
// names, and the one rewrite it may make in the buffer.
#include "syntax.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "char.h"
#include "model.h"

using husk_test::op_find;
using husk_test::op_info;
using husk_test::op_len;

namespace {

constexpr syntax_state ok = syntax_ok, cont = syntax_cont_read, err = syntax_err;

struct check_result {
    syntax_state st;
    int err_pos, symcnt;  // -1 when not written
    std::string buff;     // the buffer after the check
};

// Runs the check as the loop does, on a writable copy of `line` in an
// allocation of exactly its size.
check_result check(const std::string &line)
{
    std::vector<char> exact(line.c_str(), line.c_str() + line.size() + 1);
    check_result r{ok, -1, -1, ""};
    r.st = syntax_handle(exact.data(), &r.err_pos, &r.symcnt);
    r.buff.assign(exact.data(), line.size());
    return r;
}

// Checks the answer and, for an error, the token named; with the other
// answers no position may be written. The buffer must stay unchanged.
void expect_check(const std::string &line, syntax_state st, int pos = -1, int cnt = -1)
{
    check_result r = check(line);
    EXPECT_EQ(st, r.st) << line;
    EXPECT_EQ(pos, r.err_pos) << line;
    EXPECT_EQ(cnt, st == err ? r.symcnt : -1) << line;
    EXPECT_EQ(line, r.buff) << line;
}

}  // namespace

TEST(SyntaxHandle, WorkedLines)
{
    struct {
        const char *line;
        syntax_state st;
        int pos = -1, cnt = -1;
    } cases[] = {
        // Unfinished: a both-side operator at the end, an open quote.
        {"ls |", cont}, {"ls ||", cont}, {"ls &&  \t", cont}, {"echo 'a", cont},
        {"echo 'a\\", cont}, {"ls \"\" |", cont}, {"echo \"a\\\"b\"", cont}, {"'a' \"b", cont},
        // Complete.
        {"", ok}, {"  \t ", ok}, {"ls ;", ok}, {"ls &", ok}, {"ls ; > out", ok}, {"> out", ok},
        {"> out | wc", ok}, {"cat < in | wc", ok}, {"a && b || c", ok}, {"a&&b||c", ok},
        {"a & b &", ok}, {"a | b & d ; e", ok}, {"echo a\\\\", ok}, {"echo a\\;b", ok},
        {"\\ | wc", ok}, {"echo '|'", ok}, {"ls '>' x", ok}, {"echo \"it's\"", ok},
        {"'' | wc", ok}, {"ls\t|\twc", ok}, {"echo \"a;b|c\" ; 'd&&e'", ok},
        {"\xc3\xa9 | \xff\xfe", ok},
        // No command before ; & | || &&: the operator itself is named. A
        // redirection with nothing after it names itself. An operator after
        // | || && or a redirection: the later one is named. (Every operator
        // and pair of operators: below.)
        {"  || ls", err, 2, 2}, {"a | b ; | c", err, 8, 1}, {"a <  \t", err, 2, 1},
        {"ls 2>&1", err, 5, 1}, {"ls >>>> out", err, 5, 2},
        // The first problem from the left decides.
        {"; 'a", err, 0, 1}, {"ls | 'a", cont},
    };
    for (const auto &c : cases)
        expect_check(c.line, c.st, c.pos, c.cnt);
}

// A backslash that ends the line outside quotes becomes a blank, so that
// the next line joins as a separate word; no other case writes the buffer.
TEST(SyntaxHandle, TrailingBackslashBecomesBlank)
{
    struct {
        const char *line, *after;
    } cases[] = {
        {"echo a\\", "echo a "}, {"\\", " "},       {"a | \\", "a |  "},
        {"a\\\\\\", "a\\\\ "},   {"'a'\\", "'a' "}, {"\"x\"y\\", "\"x\"y "},
    };
    for (const auto &c : cases) {
        check_result r = check(c.line);
        EXPECT_EQ(cont, r.st) << c.line;
        EXPECT_EQ(-1, r.err_pos) << c.line;
        EXPECT_EQ(c.after, r.buff) << c.line;
        EXPECT_EQ(ok, check(r.buff + "b").st) << c.line;
    }
    expect_check("echo 'a\\", cont);   // inside quotes: plain text
    expect_check("echo \"a\\\"", ok);  // the quote after it closes
}

// Any byte other than an operator, a quote, a backslash or a space is
// command content before a "|"; bytes above 127 included.
TEST(SyntaxHandle, EveryByteBeforeAPipe)
{
    for (int v = 1; v < 256; v++) {
        char c = static_cast<char>(v);
        if (is_char_from_delim(c))
            continue;
        std::string line = std::string(1, c) + "|";
        if (is_space(c))
            expect_check(line, err, 1, 1);
        else
            expect_check(line, c == '\\' ? ok : cont);
        if (!is_char_special(c))
            expect_check(std::string(1, c), ok);
    }
}

// Each of the nine operators alone and at either end, and every ordered
// pair between two words, with spaces and written together.
TEST(SyntaxHandle, EveryOperatorAndOperatorPair)
{
    for (const op_info &op : husk_test::ops) {
        std::string t = op.text;
        expect_check("a " + t + " b", ok);
        expect_check(t + " b", op.side == 'r' ? ok : err, op.side == 'r' ? -1 : 0,
                     op.side == 'r' ? -1 : op_len(op));
        if (op.side == 'r')
            expect_check("a " + t, err, 2, op_len(op));
        else
            expect_check("a " + t, op.side == 'l' ? ok : cont);
    }
    for (const op_info &op1 : husk_test::ops) {
        for (const op_info &op2 : husk_test::ops) {
            std::string t1 = op1.text, t2 = op2.text;
            std::string spaced = "a " + t1 + " " + t2 + " b";
            if (op1.side == 'l' && op2.side == 'r')
                expect_check(spaced, ok);
            else
                expect_check(spaced, err, 3 + op_len(op1), op_len(op2));
            // Written together, the run is cut by the length rule first.
            std::vector<std::string> toks = husk_test::op_cut(t1 + t2);
            std::string joined = "a" + t1 + t2 + "b";
            if (toks.size() == 1 || (op_find(toks[0])->side == 'l' && op_find(toks[1])->side == 'r'))
                expect_check(joined, ok);
            else
                expect_check(joined, err, 1 + static_cast<int>(toks[0].size()),
                             static_cast<int>(toks[1].size()));
        }
    }
}
