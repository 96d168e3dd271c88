// word_test.cpp - the tokeniser, the list it builds and the two printers.
#include "word.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "capture.h"
#include "model.h"

namespace {

// Checks the links of `wl`: both ends null when empty, otherwise null
// outside the ends, `prev` mirroring `next` and `tail` at the end.
void expect_links(const word_list *wl)
{
    ASSERT_NE(nullptr, wl);
    ASSERT_EQ(wl->head == nullptr, wl->tail == nullptr);
    if (!wl->head)
        return;
    EXPECT_EQ(nullptr, wl->head->prev);
    const word *w = wl->head;
    for (; w->next; w = w->next)
        ASSERT_EQ(w, w->next->prev);
    EXPECT_EQ(wl->tail, w);
}

std::string print_list(const word_list *wl)
{
    return husk_test::capture(1, [&] { word_list_print(wl); });
}

struct listing {
    std::string out;    // what word_list_print writes
    std::string flags;  // is_delim of each token: "0010" for ls -l|wc
    bool operator==(const listing &) const = default;
};

// Tokenises `line`, given in an allocation of exactly its size so that a
// sanitizer build catches a read past its end, checks the list's links and
// destroys the list again.
listing list_line(const std::string &line)
{
    std::vector<char> exact(line.c_str(), line.c_str() + line.size() + 1);
    word_list *wl = word_list_from_buff(exact.data());
    listing r;
    if (!wl)
        return r;
    expect_links(wl);
    for (const word *w = wl->head; w; w = w->next)
        r.flags += w->is_delim == 1 ? '1' : w->is_delim == 0 ? '0' : '?';
    r.out = print_list(wl);
    word_list_destroy(&wl);
    EXPECT_EQ(nullptr, wl);
    return r;
}

// `body` between two `q` quotes.
std::string quoted(char q, const std::string &body)
{
    return std::string(1, q).append(body).append(1, q);
}

void PrintTo(const listing &l, std::ostream *os)
{
    *os << l.out << " flags " << l.flags;
}

}  // namespace

TEST(WordListFromBuff, WorkedLines)
{
    struct {
        const char *line, *out, *flags;
    } cases[] = {
        {"ls -l|wc", "[ls] [-l] [|] [wc]", "0010"}, {"echo a\\ b", "[echo] [a b]", "00"},
        {"echo \"a b\" 'c\"d'", "[echo] [a b] [c\"d]", "000"}, {"a>>b", "[a] [>>] [b]", "010"},
        {"a>>>b", "[a] [>>] [>] [b]", "0110"}, {"<<<<<", "[<<] [<<] [<]", "111"},
        {"x&&y||z", "[x] [&&] [y] [||] [z]", "01010"}, {"a;b&c", "[a] [;] [b] [&] [c]", "01010"},
        {"|&", "[|] [&]", "11"}, {";;", "[;] [;]", "11"}, {"echo \"\"", "[echo] []", "00"},
        {"a \"\" b", "[a] [] [b]", "000"},
        // A quoted or escaped operator character makes a word.
        {"'|'", "[|]", "0"}, {"\"&&\"", "[&&]", "0"}, {"\\;", "[;]", "0"},
        {"a\"|\"b", "[a|b]", "0"}, {"a\\|b", "[a|b]", "0"}, {"a|b", "[a] [|] [b]", "010"},
        // Backslashes outside quotes escape; inside they are text.
        {"\\\\", "[\\]", "0"}, {"\\\"", "[\"]", "0"}, {"\\ x", "[ x]", "0"},
        {"'a\\b' \"a\\b\"", "[a\\b] [a\\b]", "00"}, {"ab\"cd ef\"gh", "[abcd efgh]", "0"},
        {"\"a'b\"'c\"d'", "[a'bc\"d]", "0"}, {"'unclosed word", "[unclosed word]", "0"},
        {"a\\", "[a]", "0"},
        // Spaces of every kind separate and vanish; high bytes are text.
        {" \t ls\v-l\f\r", "[ls] [-l]", "00"},
        {"\xc3\xa9t\xff \xa0", "[\xc3\xa9t\xff] [\xa0]", "00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ((listing{std::string(c.out) + "\n", c.flags}), list_line(c.line)) << c.line;
}

// No line gives no list; a line of spaces gives an empty one, which prints
// nothing and has no argument vector.
TEST(WordListFromBuff, EmptyAndBlankLines)
{
    EXPECT_EQ(nullptr, word_list_from_buff(nullptr));
    EXPECT_EQ(nullptr, word_list_from_buff(""));
    EXPECT_EQ("", print_list(nullptr));
    EXPECT_EQ(nullptr, word_list_to_argv(nullptr));
    word_list *lists[] = {word_list_from_buff(" \t\r\v\f "), word_list_init()};
    for (word_list *wl : lists) {
        expect_links(wl);
        EXPECT_EQ(nullptr, wl->head);
        EXPECT_EQ("", print_list(wl));
        EXPECT_EQ(nullptr, word_list_to_argv(wl));
        word_list_destroy(&wl);
        EXPECT_EQ(nullptr, wl);
    }
}

// A rewritten word has no length limit: its scratch text grows.
TEST(WordListFromBuff, LongRewrittenWordsComeOutWhole)
{
    std::string x(100000, 'x'), z(50000, 'z'), escaped;
    for (int i = 0; i < 50000; i++)
        escaped += "\\z";
    EXPECT_EQ((listing{"[" + x + "]\n", "0"}), list_line(quoted('\'', x)));
    EXPECT_EQ((listing{"[pre" + x + "|y] [|]\n", "01"}), list_line("pre" + quoted('"', x) + "\\|y |"));
    EXPECT_EQ((listing{"[" + z + "]\n", "0"}), list_line(escaped));
    for (size_t n : {254, 255, 256, 4095, 4096}) {
        std::string q(n, 'q');
        EXPECT_EQ((listing{"[" + q + "]\n", "0"}), list_line(quoted('"', q))) << n;
    }
}

// A rewritten word is copied piece by piece: a quoted stretch, a run
// between escapes, a plain run before a quote. Each of them, of every
// length to four times the sixteen-byte copy, at the end of the line and
// with more text after it, comes out as the plain text.
TEST(WordListFromBuff, PiecesOfEveryLengthComeOutWhole)
{
    const std::string tail(20, 't');
    for (size_t n = 0; n <= 64; n++) {
        std::string s;
        for (size_t i = 0; i < n; i++)
            s += static_cast<char>('a' + (n + i) % 26);
        const std::pair<std::string, std::string> pieces[] = {
            {quoted('\'', s), s}, {quoted('"', s), s}, {"\\<" + s + "\\>", "<" + s + ">"}, {s + "''", s}};
        for (const auto &[line, word] : pieces) {
            EXPECT_EQ((listing{"[" + word + "]\n", "0"}), list_line(line)) << line;
            EXPECT_EQ((listing{"[" + word + "] [" + tail + "]\n", "00"}), list_line(line + " " + tail)) << line;
        }
    }
}

TEST(WordListToArgv, PointsAtTheWordsInOrder)
{
    word_list *wl = word_list_from_buff("ls -l");
    char **argv = word_list_to_argv(wl);
    ASSERT_NE(nullptr, argv);
    EXPECT_EQ(wl->head->str, argv[0]);
    EXPECT_EQ(wl->tail->str, argv[1]);
    EXPECT_STREQ("-l", argv[1]);
    EXPECT_EQ(nullptr, argv[2]);
    free(argv);
    word_list_destroy(&wl);
}

TEST(WordListPartToArgv, TakesTheFirstWordsOfTheList)
{
    word_list *wl = word_list_from_buff("a b c");
    char **argv = word_list_part_to_argv(wl->head, 3);
    ASSERT_NE(nullptr, argv);
    EXPECT_EQ(wl->head->str, argv[0]);
    EXPECT_EQ(wl->head->next->str, argv[1]);
    EXPECT_EQ(wl->tail->str, argv[2]);
    EXPECT_EQ(nullptr, argv[3]);
    free(argv);
    argv = word_list_part_to_argv(wl->head->next, 1);
    ASSERT_NE(nullptr, argv);
    EXPECT_STREQ("b", argv[0]);
    EXPECT_EQ(nullptr, argv[1]);
    free(argv);
    EXPECT_EQ(nullptr, word_list_part_to_argv(wl->head, 0));
    word_list_destroy(&wl);
}

TEST(WordListPartToArgvDeathTest, EndsTheShellOnAWrongCall)
{
    word_list *wl = word_list_from_buff("a b");
    const char *wrong = "^word_list_part_to_argv: wrong arg!\n$";
    EXPECT_EXIT(word_list_part_to_argv(nullptr, 1), testing::ExitedWithCode(1), wrong);
    EXPECT_EXIT(word_list_part_to_argv(nullptr, 0), testing::ExitedWithCode(1), wrong);
    EXPECT_EXIT(word_list_part_to_argv(wl->head, -1), testing::ExitedWithCode(1), wrong);
    EXPECT_EXIT(word_list_part_to_argv(wl->head, 3), testing::ExitedWithCode(1),
                "^word_list_part_to_argv: len > actual size\n$");
    word_list_destroy(&wl);
}

// The fast printer must print what the list printer prints, for lines made
// of every operator, quotes, backslashes, spaces and high bytes.
TEST(WordListPrintFromBuff, MatchesPrintingTheList)
{
    std::vector<std::string> parts = {"a", "bc", " ",  "\t", "  ", "'",  "\"", "\\", "\\ ",
                                      "'x y'", "\"p'q\"", "\xc3\xa9", "\xff", "\r", ""};
    for (const husk_test::op_info &o : husk_test::ops)
        parts.push_back(o.text);
    std::string big(6000, 'w');
    std::vector<std::string> lines = {"", "   ", std::string(40000, 'L'),
                                      quoted('\'', std::string(20000, 'Q')) + " x"};
    std::mt19937 rng(20261208);
    for (int i = 0; i < 3000; i++) {
        // Now and then a line of thousands of short tokens (no quotes, which
        // would join them), whose listing fills the printer's buffer many
        // times at varying offsets.
        int many = i % 300 == 0;
        int n = static_cast<int>(many ? 20000 + rng() % 4000 : rng() % 12);
        std::string line;
        for (int j = 0; j < n; j++) {
            size_t k = rng() % (parts.size() + (many ? 0 : 1));
            if (k == parts.size())
                line += big;
            else if (!many || parts[k].find_first_of("'\"") == std::string::npos)
                line += parts[k];
        }
        lines.push_back(line);
    }
    for (const std::string &line : lines) {
        std::vector<char> exact(line.c_str(), line.c_str() + line.size() + 1);
        std::string fast = husk_test::capture(1, [&] { word_list_print_from_buff(exact.data()); });
        ASSERT_EQ(list_line(line).out, fast) << line;
    }
}
