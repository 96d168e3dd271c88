// word_test.cpp - the tokeniser, the list it builds and the two printers.
#include "word.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "capture.h"
#include "model.h"

using husk_test::token;

namespace husk_test {

// How a failure shows a token.
void PrintTo(const token &t, std::ostream *os)
{
    *os << (t.is_delim == 1 ? "operator " : t.is_delim ? "?? " : "word ")
        << testing::PrintToString(t.text);
}

}  // namespace husk_test

namespace {

// Checks the links of `wl`: `prev` mirrors `next` from a null before the
// head, and `tail` is the last word, null for an empty list.
void expect_links(const word_list *wl)
{
    ASSERT_NE(nullptr, wl);
    const word *prev = nullptr;
    for (const word *w = wl->head; w; prev = w, w = w->next)
        ASSERT_EQ(prev, w->prev);
    EXPECT_EQ(prev, wl->tail);
}

// Tokenises each of `lines`, given in an allocation of exactly its size so
// that a sanitizer build catches a read past its end, and checks that only
// the empty line gives no list, the links of each list, that its tokens are
// the model's (words with their quotes and backslashes resolved) and that
// both printers list them. Each printer is caught once for all the lines:
// once a line, the catching would take seconds on the short lines.
void expect_model(const std::vector<std::string> &lines)
{
    std::vector<std::vector<char>> exact;
    std::vector<word_list *> lists;
    std::string listing;
    for (size_t i = 0; i < lines.size() && !testing::Test::HasFailure(); i++) {
        exact.emplace_back(lines[i].c_str(), lines[i].c_str() + lines[i].size() + 1);
        lists.push_back(word_list_from_buff(exact[i].data()));
        EXPECT_EQ(lines[i].empty(), lists[i] == nullptr) << testing::PrintToString(lines[i]);
        std::vector<token> toks;
        if (lists[i]) {
            expect_links(lists[i]);
            for (const word *w = lists[i]->head; w; w = w->next)
                toks.push_back({w->str, w->is_delim});
        }
        EXPECT_EQ(husk_test::ref_tokens(lines[i]), toks) << testing::PrintToString(lines[i]);
        listing += husk_test::render(toks);
    }
    EXPECT_EQ(listing, husk_test::capture(1, [&] {
        for (const word_list *wl : lists)
            word_list_print(wl);
    }));
    EXPECT_EQ(listing, husk_test::capture(1, [&] {
        for (const std::vector<char> &line : exact)
            word_list_print_from_buff(line.data());
    }));
    for (word_list *&wl : lists)
        word_list_destroy(&wl);
}

// `body` between two `q` quotes.
std::string quoted(char q, const std::string &body)
{
    return std::string(1, q).append(body).append(1, q);
}

}  // namespace

// Unfinished lines too: the tokeniser takes any text.
TEST(WordListFromBuff, AgreesWithTheModelOnEveryShortLine)
{
    std::vector<std::string> lines;
    husk_test::every_short_line([&](const std::string &line) {
        lines.push_back(line);
        return true;
    });
    for (size_t at = 0; at < lines.size() && !HasFailure(); at += 1000)
        expect_model({lines.begin() + at, lines.begin() + std::min(at + 1000, lines.size())});
}

// No line gives no list, and no list prints nothing and has no argument
// vector; nor has an empty list (a blank line gives one).
TEST(WordListFromBuff, EmptyAndBlankLines)
{
    EXPECT_EQ(nullptr, word_list_from_buff(nullptr));
    EXPECT_EQ("", husk_test::capture(1, [] { word_list_print(nullptr); }));
    EXPECT_EQ(nullptr, word_list_to_argv(nullptr));
    word_list *wl = word_list_init();
    expect_links(wl);
    EXPECT_EQ(nullptr, word_list_to_argv(wl));
    word_list_destroy(&wl);
    EXPECT_EQ(nullptr, wl);
}

// A rewritten word has no length limit: its scratch text grows.
TEST(WordListFromBuff, LongRewrittenWordsComeOutWhole)
{
    std::string x(100000, 'x'), escaped;
    for (int i = 0; i < 50000; i++)
        escaped += "\\z";
    std::vector<std::string> lines = {quoted('\'', x), "pre" + quoted('"', x) + "\\|y |", escaped};
    for (size_t n : {254, 255, 256, 4095, 4096})
        lines.push_back(quoted('"', std::string(n, 'q')));
    expect_model(lines);
}

// A rewritten word is copied piece by piece: a quoted stretch, a run
// between escapes, a plain run before a quote. Each of them, of every
// length to four times the sixteen-byte copy, at the end of the line and
// with more text after it, comes out as the plain text.
TEST(WordListFromBuff, PiecesOfEveryLengthComeOutWhole)
{
    std::vector<std::string> lines;
    for (size_t n = 0; n <= 64; n++) {
        std::string s;
        for (size_t i = 0; i < n; i++)
            s += static_cast<char>('a' + (n + i) % 26);
        for (const std::string &line : {quoted('\'', s), quoted('"', s), "\\<" + s + "\\>", s + "''"}) {
            lines.push_back(line);
            lines.push_back(line + " " + std::string(20, 't'));
        }
    }
    expect_model(lines);
}

// An argument vector points at the words' own texts, in order, and ends
// with a null.
TEST(WordListToArgv, PointsAtTheWordsInOrder)
{
    word_list *wl = word_list_from_buff("a b c");
    char **all = word_list_to_argv(wl), **part = word_list_part_to_argv(wl->head->next, 1);
    ASSERT_TRUE(all && part);
    EXPECT_EQ(wl->head->str, all[0]);
    EXPECT_EQ(wl->head->next->str, all[1]);
    EXPECT_EQ(wl->tail->str, all[2]);
    EXPECT_EQ(nullptr, all[3]);
    EXPECT_EQ(wl->head->next->str, part[0]);
    EXPECT_EQ(nullptr, part[1]);
    EXPECT_EQ(nullptr, word_list_part_to_argv(wl->head, 0));
    free(all);
    free(part);
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

// Lines longer than the short ones, made of every operator, quotes,
// backslashes, spaces and high bytes, and long ones that fill the printers'
// buffer.
TEST(WordListPrintFromBuff, ListsLongAndRandomLinesAsTheModelDoes)
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
    expect_model(lines);
}
