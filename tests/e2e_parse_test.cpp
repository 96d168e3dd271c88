// e2e_parse_test.cpp - the built shell reading scripts: joining of
// continuation lines, syntax errors, the end of input, odd bytes and long
// lines, mostly seen through the -s token listing.
#include <gtest/gtest.h>

#include "e2e_support.h"

using namespace husk_test;
using namespace std::string_literals;

namespace {

const char *const eoi = "Error: unexpected end of input.\n";

struct row {
    std::string in;   // the script
    const char *out;  // expected standard output
    const char *err;  // expected standard error
};

run_opts opts(std::vector<std::string> args, std::string cwd = "")
{
    run_opts o;
    o.args = std::move(args);
    o.cwd = std::move(cwd);
    return o;
}

void check_rows(const std::vector<row> &rows, const run_opts &o)
{
    for (const row &r : rows) {
        SCOPED_TRACE(r.in);
        run_result res = husk_run(r.in, o);
        EXPECT_EQ(r.out, res.out);
        EXPECT_EQ(r.err, res.err);
        EXPECT_EQ(0, res.status);
    }
}

TEST(Listing, LinesJoinsAndEnds)
{
    check_rows({
        // the worked lines
        {"ls -l|wc\n", "[ls] [-l] [|] [wc]\n", ""},
        {"echo \"a b\" 'c\"d'\n", "[echo] [a b] [c\"d]\n", ""},
        {"echo a\\ b\na>>b\nx&&y||z\n", "[echo] [a b]\n[a] [>>] [b]\n[x] [&&] [y] [||] [z]\n", ""},
        {"echo \"\"\na \"\" b\n", "[echo] []\n[a] [] [b]\n", ""},
        {" \t \n\n  ls  \n", "[ls]\n", ""},
        {"'|' a\"|\"b a\\|b \\\\ \\\"\n", "[|] [a|b] [a|b] [\\] [\"]\n", ""},
        {"'a\\b' \"a\\b\" ab\"cd ef\"gh\n", "[a\\b] [a\\b] [abcd efgh]\n", ""},
        // continuation lines are joined with nothing between them
        {"echo 'a\nb'\n", "[echo] [ab]\n", ""},
        {"echo \"a\n\nb\nc\"\n", "[echo] [abc]\n", ""},
        {"ls |\nwc\nls ||\nwc\nls &&\n\nwc\n", "[ls] [|] [wc]\n[ls] [||] [wc]\n[ls] [&&] [wc]\n", ""},
        {"ls |\n| wc\n", "[ls] [||] [wc]\n", ""},
        {"echo a\\\nb\necho a\\\n| wc\n", "[echo] [a] [b]\n[echo] [a] [|] [wc]\n", ""},
        {"ls |\n; wc\necho ok\n", "[echo] [ok]\n", "Error: ';' is unexpected.\n"},
        // end of input
        {"", "", ""},
        {"echo a", "[echo] [a]\n", ""},
        {"echo a\\", "[echo] [a]\n", ""},
        {"echo a\\\n", "[echo] [a]\n", ""},
        {"echo a\\\nb", "[echo] [a] [b]\n", ""},
        {"echo 'a\n", "", eoi},
        {"echo 'a\nb", "", eoi},
        {"ls |", "", eoi},
        {"ls ||\n", "", eoi},
        {"ls &&\n\n", "", eoi},
        {"; ls", "", "Error: ';' is unexpected.\n"},
        // NUL ends the line as seen; a continuation goes on at the NUL
        {"echo a\0b c\necho d\n"s, "[echo] [a]\n[echo] [d]\n", ""},
        {"echo 'a\0junk\nb'\n"s, "[echo] [ab]\n", ""},
        {"\0; ls\n"s, "", ""},
        // CR LF line ends, bytes above 127
        {"echo a\r\nls |\r\nwc\r\n", "[echo] [a]\n[ls] [|] [wc]\n", ""},
        {"echo h\xc3\xa9 \xff\x80\n", "[echo] [h\xc3\xa9] [\xff\x80]\n", ""},
    }, opts({"-s"}));
}

// Each bad line is reported with its token, with and without -s, and the
// shell goes on with the next line.
TEST(Listing, SyntaxErrorsDropTheLine)
{
    const std::vector<std::pair<const char *, const char *>> bad = {
        {"; ls", ";"}, {"& ls", "&"}, {"| ls", "|"}, {"&& ls", "&&"},
        {"ls ; ; ls", ";"}, {"ls;;", ";"}, {"ls >", ">"}, {"ls >>", ">>"},
        {"ls > | wc", "|"}, {"ls | > out", ">"}, {"ls &&& wc", "&"},
        {"a <<< b", "<"}, {"ls >>>> out", ">>"}, {"ls |& wc", "&"},
        {"ls 2>&1", "&"}, {"a<>b", ">"}, {"ls || || wc", "||"}, {"ls | << x", "<<"},
    };
    temp_dir d;
    for (const auto &[line, tok] : bad) {
        SCOPED_TRACE(line);
        std::string msg = "Error: '"s + tok + "' is unexpected.\n";
        run_result s = husk_run_s(line + "\necho ok\n"s);
        run_result x = husk_run(line + "\necho ok\n"s, opts({}, d.path));
        EXPECT_EQ(msg, s.err);
        EXPECT_EQ(msg, x.err);
        EXPECT_EQ("[echo] [ok]\n", s.out);
        EXPECT_EQ("ok\n", x.out);
        EXPECT_EQ(0, s.status + x.status);
    }
}

// Unfinished text at the end of a script is never run, finished text is.
TEST(Running, EndOfInput)
{
    temp_dir d;
    check_rows({
        {"echo hi", "hi\n", ""},
        {"echo a\\", "a\n", ""},
        {"echo a\r\n", "a\n", ""},
        {"echo a |", "", eoi},
        {"touch f; echo 'a", "", eoi},
        {"touch f &&\n", "", eoi},
    }, opts({}, d.path));
    EXPECT_FALSE(file_exists(d / "f"));
}

// Every byte but newline, NUL and the quotes, between two letters.
TEST(Listing, EveryByteBetweenTwoLetters)
{
    std::string in, want;
    for (int c = 1; c < 256; c++) {
        if (c == '\n' || c == '\'' || c == '"')
            continue;
        std::string ch(1, static_cast<char>(c));
        in += "x" + ch + "y\n";
        if (strchr(" \t\v\f\r", c))
            want += "[x] [y]\n";
        else if (c == '\\')
            want += "[xy]\n";
        else if (strchr(";&|<>", c))
            want += "[x] [" + ch + "] [y]\n";
        else
            want += "[x" + ch + "y]\n";
    }
    run_result r = husk_run_s(in);
    EXPECT_EQ(want, r.out);
    EXPECT_EQ("", r.err);
}

TEST(Listing, LongLinesAndWords)
{
    std::string in, want;
    for (int n : {1022, 1023, 1024, 1025, 2047, 2048, 4095, 4096, 4097, 10000}) {
        in += std::string(n, 'a') + "\n";
        want += "[" + std::string(n, 'a') + "]\n";
    }
    std::string line, words;  // about 1 MiB of words
    for (int i = 0; i < 120000; i++) {
        std::string w = std::to_string(i) + "xy";
        line += w + (i % 7 ? " " : "\t");
        words += "[" + w + "]" + (i < 119999 ? " " : "\n");
    }
    std::string big(100000, 'q');
    big[500] = ' ';
    big[99000] = '|';
    in += line + "\necho \"" + big + "\"\n";
    want += words + "[echo] [" + big + "]\n";
    run_result r = husk_run_s(in);
    EXPECT_TRUE(r.out == want);
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
    for (const auto &[args, out] : cases)
        EXPECT_EQ(out, husk_run("echo hi\n", opts(args)).out) << testing::PrintToString(args);
}

// Feeds `n` blanks, then "echo ok" and a newline (the blanks come first, so
// the line is n + 7 characters), then a second line, from a child process.
run_result run_line_of(long n)
{
    int p[2];
    if (pipe2(p, O_CLOEXEC))
        abort();
    pid_t pid = fork();
    if (pid == 0) {
        static char blanks[1 << 16];
        memset(blanks, ' ', sizeof blanks);
        for (long left = n; left > 0;) {
            ssize_t w = write(p[1], blanks, std::min<long>(left, sizeof blanks));
            if (w <= 0)
                _exit(1);
            left -= w;
        }
        const char tail[] = "echo ok\necho next\n";
        _exit(write(p[1], tail, sizeof tail - 1) < 0);
    }
    close(p[1]);
    run_opts o;
    o.timeout_ms = 120000;
    o.stdin_fd = p[0];
    run_result r = husk_run("", o);
    close(p[0]);
    waitpid(pid, nullptr, 0);
    return r;
}

// Takes a few seconds and about 1 GiB in the shell for each of the two runs.
TEST(Running, LineLimitIsExact)
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
