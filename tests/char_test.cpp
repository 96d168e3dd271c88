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
    for (int a = 0; a < 256 && !HasFailure(); a++) {
        for (int b = 0; b < 256; b++) {
            for (int cnt = b ? 2 : 1; cnt <= 2; cnt++) {
                std::vector<char> tok(static_cast<size_t>(cnt), static_cast<char>(b));
                tok[0] = static_cast<char>(a);
                const husk_test::op_info *op = husk_test::op_find({tok.data(), tok.size()});
                EXPECT_EQ(op ? 1 : 0, is_delim(tok.data(), cnt))
                    << "is_delim " << a << " " << b << " cnt " << cnt;
                for (const side_classifier &f : side_classifiers) {
                    int want = op && strchr(f.sides, op->side) ? 1 : 0;
                    delim dl = untouched;
                    int got = f.fn(tok.data(), cnt, &dl);
                    bool ok = got == want && f.fn(tok.data(), cnt, nullptr) == want &&
                              (!want || dl == op->kind);
                    EXPECT_TRUE(ok) << f.name << " " << a << " " << b << " cnt " << cnt << ": "
                                    << got << " kind " << dl;
                }
            }
        }
    }
}

// A null token or a count out of range gives 0 and leaves `*dl` alone.
TEST(DelimClassifiers, RejectBadArgumentsWithoutWritingKind)
{
    const std::pair<const char *, int> bad[] = {{"&&", 0}, {"&&", 3}, {"&&", -1}, {nullptr, 1}, {nullptr, 2}};
    for (const auto &[text, cnt] : bad) {
        EXPECT_EQ(0, is_delim(text, cnt)) << cnt;
        for (const side_classifier &f : side_classifiers) {
            // The left-side test checks only the upper bound, as the one-
            // character tokens it accepts need no more.
            if (cnt < 1 && f.sides[0] == 'l')
                continue;
            delim dl = untouched;
            EXPECT_EQ(0, f.fn(text, cnt, &dl)) << f.name << " cnt " << cnt;
            EXPECT_EQ(untouched, dl) << f.name << " cnt " << cnt;
        }
    }
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
    for (char filler : {'a', ' ', '\xff'}) {
        for (int len : {0, 1, 15, 16, 17, 31, 32, 33, 40}) {
            for (int pos = 0; pos < std::max(len, 1) && !HasFailure(); pos++) {
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
                        EXPECT_TRUE(got == want && got_plain == want_plain &&
                                    char_look_word_end(&words, from) == want_end)
                            << "filler " << int(filler) << " len " << len << " byte " << v
                            << " at " << pos << " from " << from - begin;
                        from = std::max(from, got);
                    }
                }
            }
        }
    }
}

// A stretch left open at the end of a line is searched on from the start of
// the next one, its first byte included: only its own quote closes it, and
// a backslash inside escapes nothing. (The search from an opening quote is
// held to the model through the check and the tokeniser.)
TEST(QuoteSetFlags, GoesOnWithAStretchLeftOpen)
{
    char quote = '"';
    EXPECT_STREQ("\"b", quote_set_flags("\"b", &quote));
    EXPECT_EQ(0, quote);
    quote = '"';
    EXPECT_STREQ("\"", quote_set_flags("a'\\\"", &quote));
    quote = '\'';
    EXPECT_EQ(nullptr, quote_set_flags("a\"b", &quote));
    EXPECT_EQ('\'', quote);
}
