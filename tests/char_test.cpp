// char_test.cpp - the classifiers, checked over every byte and every pair of
// bytes against the nine operator tokens.
#include "char.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "model.h"

namespace {

// Within the enum's range, yet never stored: shows whether `*dl` was written.
constexpr delim untouched = static_cast<delim>(15);

struct side_classifier {
    int (*fn)(const char *, int, delim *);
    const char *name;
    const char *sides;  // the side classes it accepts
};

constexpr side_classifier side_classifiers[] = {
    {is_leftside_delim, "leftside", "l"}, {is_rightside_delim, "rightside", "r"},
    {is_bothside_delim, "bothside", "b"}, {is_word_delim, "word", "r"},
    {is_cmd_delim, "cmd", "lb"},
};

}  // namespace

// Bytes above 127 are negative chars: all 256 are checked, and the class
// table must agree with the predicates.
TEST(CharClass, PredicatesAndTableAgreeOverAllBytes)
{
    for (int v = 0; v < 256; v++) {
        char c = static_cast<char>(v);
        int space = husk_test::space_char(c), delim_char = husk_test::op_char(c);
        int quote = v && strchr("'\"", v);
        int special = quote || v == '\\';
        EXPECT_EQ(isspace(v) ? 1 : 0, space) << v;  // the C locale agrees
        EXPECT_EQ(space, is_space(c)) << v;
        EXPECT_EQ(delim_char, is_char_from_delim(c)) << v;
        EXPECT_EQ(quote, is_quote(c)) << v;
        EXPECT_EQ(special, is_char_special(c)) << v;
        int want = (space ? cc_space : 0) | (delim_char ? cc_delim : 0) |
                   (special ? cc_special : 0) | (v == 0 ? cc_nul : 0);
        EXPECT_EQ(want, char_class(c)) << v;
    }
}

// Every classifier on every byte pair (a NUL second byte included), with
// counts 1 and 2, against the nine tokens; with `dl` and with null. The
// candidate fills an allocation of exactly `cnt` bytes, so a sanitizer
// build catches any read beyond it.
TEST(DelimClassifiers, AcceptExactlyTheNineTokensOverAllPairs)
{
    int failures = 0;
    for (int a = 0; a < 256 && failures < 10; a++) {
        for (int b = 0; b < 256; b++) {
            for (int cnt = b ? 2 : 1; cnt <= 2; cnt++) {
                std::vector<char> tok(static_cast<size_t>(cnt), static_cast<char>(a));
                tok.back() = cnt == 2 ? static_cast<char>(b) : tok[0];
                const husk_test::op_info *op = husk_test::op_find({tok.data(), tok.size()});
                bool ok = is_delim(tok.data(), cnt) == (op ? 1 : 0);
                EXPECT_TRUE(ok) << "is_delim " << a << " " << b << " cnt " << cnt;
                failures += !ok;
                for (const side_classifier &f : side_classifiers) {
                    int want = op && strchr(f.sides, op->side) ? 1 : 0;
                    delim dl = untouched;
                    int got = f.fn(tok.data(), cnt, &dl);
                    ok = got == want && f.fn(tok.data(), cnt, nullptr) == want &&
                         (!want || dl == op->kind);
                    EXPECT_TRUE(ok) << f.name << " " << a << " " << b << " cnt " << cnt << ": "
                                    << got << " kind " << dl;
                    failures += !ok;
                }
            }
        }
    }
}

// A null token or a count out of range gives 0 and leaves `*dl` alone.
TEST(DelimClassifiers, RejectBadArgumentsWithoutWritingKind)
{
    char text[] = "&&", semi[] = ";;";
    for (int cnt : {0, 3, -1}) {
        EXPECT_EQ(0, is_delim(text, cnt)) << cnt;
        for (const side_classifier &f : side_classifiers) {
            delim dl = untouched;
            // The left-side test checks only the upper bound, as the one-
            // character tokens it accepts need no more.
            if (cnt > 0 || f.sides[0] != 'l') {
                EXPECT_EQ(0, f.fn(text, cnt, &dl)) << f.name << " cnt " << cnt;
            }
            EXPECT_EQ(untouched, dl) << f.name << " cnt " << cnt;
        }
    }
    for (int cnt : {1, 2}) {
        EXPECT_EQ(0, is_delim(nullptr, cnt));
        for (const side_classifier &f : side_classifiers) {
            delim dl = untouched;
            EXPECT_EQ(0, f.fn(nullptr, cnt, &dl)) << f.name;
            EXPECT_EQ(untouched, dl) << f.name;
        }
    }
    delim dl = untouched;
    EXPECT_EQ(0, is_leftside_delim(semi, 2, &dl));
    EXPECT_EQ(untouched, dl);
}

// The walk that looks at sixteen bytes at a time must find what a
// byte-by-byte reading of the class table finds: every byte value at every
// position of lines around the block size, on plain, blank and high
// fillers, from several starting points and again from just past each
// answer. The line and its terminator fill an allocation of exactly their
// size.
TEST(CharLook, AgreesWithTheClassTableAtEveryPosition)
{
    constexpr unsigned char stop_cls = cc_delim | cc_special | cc_nul;
    int failures = 0;
    for (char filler : {'a', ' ', '\xff'}) {
        for (int len : {0, 1, 15, 16, 17, 31, 32, 33, 40}) {
            for (int pos = 0; pos < std::max(len, 1) && failures < 10; pos++) {
                for (int v = 1; v < 256; v++) {
                    std::vector<char> line(static_cast<size_t>(len) + 1, filler);
                    line[static_cast<size_t>(len)] = '\0';
                    if (len)
                        line[static_cast<size_t>(pos)] = static_cast<char>(v);
                    const char *begin = line.data(), *end = begin + len;
                    const char *p = begin + pos * (v % 3) / 2;
                    char_look stops, words;
                    char_look_start(&stops, begin, end, p);
                    char_look_start(&words, begin, end, p);
                    for (const char *from = p; from <= end; from++) {
                        int want_plain = 0, got_plain = 0;
                        const char *want = from, *want_end = from;
                        for (; !(char_class(*want) & stop_cls); want++)
                            want_plain |= char_class(*want) == 0;
                        while (!char_class(*want_end))
                            want_end++;
                        const char *got = char_look_stop(&stops, from, &got_plain);
                        bool ok = got == want && got_plain == want_plain &&
                                  char_look_word_end(&words, from) == want_end;
                        EXPECT_TRUE(ok) << "filler " << int(filler) << " len " << len << " byte "
                                        << v << " at " << pos << " from " << from - begin;
                        failures += !ok;
                        from = std::max(from, got);
                    }
                }
            }
        }
    }
}

// Quotes do not nest and a backslash escapes nothing inside them; a
// stretch left open is searched on from where it stopped.
TEST(QuoteSetFlags, FindsTheNextQuoteOfTheSameKind)
{
    struct {
        const char *text;
        int close;  // index of the closing quote, -1 for none
    } cases[] = {
        {"'abc'x", 4}, {"''", 1},      {"\"a'b\"", 4}, {"'a\"b'", 4},      {"'a\\'b", 3},
        {"\"a\\\"", 3}, {"'abc", -1}, {"\"", -1},     {"'\xff\x80'", 3},
    };
    for (const auto &c : cases) {
        char quote = 0;
        const char *close = quote_set_flags(c.text, &quote);
        EXPECT_EQ(c.close, close ? static_cast<int>(close - c.text) : -1) << c.text;
        EXPECT_EQ(close ? 0 : c.text[0], quote) << c.text;
        if (!close) {
            EXPECT_EQ(nullptr, quote_set_flags(c.text + 1, &quote));
        }
    }
    char quote = '"';
    EXPECT_STREQ("\"b", quote_set_flags("a'\"b", &quote));
    EXPECT_EQ(0, quote);
}
