// char.h - character and delimiter classifiers, shared by the syntax check,
// the tokeniser and the executor. Each answers 1 or 0 and has no side effect.
#ifndef HUSK_CHAR_H
#define HUSK_CHAR_H

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "define.h"

int is_char_from_delim(char c);  // ; & | < >
int is_char_special(char c);     // ' " and backslash
int is_quote(char c);            // ' and "
int is_space(char c);            // blank, \t \n \v \f \r; never a byte above 127

// `token` points at a candidate operator and `char_cnt` (1 or 2) says how
// many characters form it; nothing beyond them is read, and a NUL as second
// character fails every two-character form. A null token or a count above 2
// or below 1 gives 0 (is_leftside_delim, whose tokens have one character,
// rejects only counts above 1). After a 1, `*dl` holds the kind; `dl` may be
// null. After a 0 the caller must not read `*dl`.
int is_delim(const char *token, int char_cnt);
int is_leftside_delim(const char *token, int char_cnt, delim *dl);   // ; &
int is_rightside_delim(const char *token, int char_cnt, delim *dl);  // < > << >>
int is_bothside_delim(const char *token, int char_cnt, delim *dl);   // | || &&
int is_word_delim(const char *token, int char_cnt, delim *dl);  // redirections
int is_cmd_delim(const char *token, int char_cnt, delim *dl);   // ; & | || &&

// The quote rule: the quote character at `open` starts a stretch of plain
// text that runs to the next quote of the same kind, so quotes do not nest
// and a backslash inside quotes escapes nothing. Gives the closing quote, or
// null when the line ends first.
inline const char *quote_find_close(const char *open)
{
    return strchr(open + 1, *open);
}

// The same classes as bits of one table, for scanners that test several at
// once on every byte of a line. Agrees with the predicates above.
constexpr unsigned char cc_space = 1;    // is_space
constexpr unsigned char cc_delim = 2;    // is_char_from_delim
constexpr unsigned char cc_special = 4;  // is_char_special
constexpr unsigned char cc_nul = 8;      // the end of a line

typedef struct def_char_table {
    unsigned char cls[256];
} char_table;

constexpr char_table char_table_make(void)
{
    char_table t{};
    for (int c = 0; c < 256; c++) {
        unsigned char k = 0;
        if (c == ' ' || (c >= '\t' && c <= '\r'))
            k |= cc_space;
        if (c == ';' || c == '&' || c == '|' || c == '<' || c == '>')
            k |= cc_delim;
        if (c == '\'' || c == '"' || c == '\\')
            k |= cc_special;
        if (c == 0)
            k |= cc_nul;
        t.cls[c] = k;
    }
    return t;
}

inline constexpr char_table char_classes = char_table_make();

inline unsigned char char_class(char c)
{
    return char_classes.cls[static_cast<unsigned char>(c)];
}

#ifdef __SSE2__
// Bit i of each answer is set when byte i of the sixteen at `p` is of the
// class: `stop` for the classes named by `stop`, `plain` for no class.
inline void char_span_block(const char *p, unsigned char stop,
                            unsigned *stop_bits, unsigned *plain_bits)
{
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    auto eq = [v](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    // Tab to carriage return are 9 to 13: after subtracting 9, at most 4.
    __m128i low = _mm_sub_epi8(v, _mm_set1_epi8(9));
    __m128i space = _mm_or_si128(
        eq(' '), _mm_cmpeq_epi8(_mm_min_epu8(low, _mm_set1_epi8(4)), low));
    __m128i delim = _mm_or_si128(_mm_or_si128(eq(';'), eq('&')),
                                 _mm_or_si128(_mm_or_si128(eq('|'), eq('<')), eq('>')));
    __m128i special = _mm_or_si128(_mm_or_si128(eq('\''), eq('"')), eq('\\'));
    __m128i nul = eq('\0');
    __m128i hit = _mm_setzero_si128();
    if (stop & cc_space)
        hit = _mm_or_si128(hit, space);
    if (stop & cc_delim)
        hit = _mm_or_si128(hit, delim);
    if (stop & cc_special)
        hit = _mm_or_si128(hit, special);
    if (stop & cc_nul)
        hit = _mm_or_si128(hit, nul);
    *stop_bits = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (plain_bits) {
        __m128i any = _mm_or_si128(_mm_or_si128(space, delim), _mm_or_si128(special, nul));
        *plain_bits = static_cast<unsigned>(_mm_movemask_epi8(any)) ^ 0xffffu;
    }
}

// The answer of char_span for a block whose first hit is the lowest bit of
// `stop_bits` (not 0), with `plain_bits` for the bytes from p on.
inline const char *char_span_hit(const char *p, unsigned stop_bits,
                                 unsigned plain_bits, int *has_plain)
{
    if (has_plain && (plain_bits & ((stop_bits & -stop_bits) - 1)))
        *has_plain = 1;
    return p + __builtin_ctz(stop_bits);
}
#endif

// The first byte in [p, end) whose class has a bit of `stop`, or `end` when
// there is none. When `has_plain` is given, it is set to 1 if a byte of no
// class at all (an ordinary word character) lies before the answer, and
// left alone otherwise. `begin` is the start of the text that holds p: the
// scan reads nothing outside [begin, end). The line scanners use it to cross
// words and blanks sixteen bytes at a time.
inline const char *char_span(const char *begin, const char *p, const char *end,
                             unsigned char stop, int *has_plain)
{
#ifdef __SSE2__
    unsigned stop_bits, plain_bits = 0;
    while (end - p >= 16) {
        char_span_block(p, stop, &stop_bits, has_plain ? &plain_bits : nullptr);
        if (stop_bits)
            return char_span_hit(p, stop_bits, plain_bits, has_plain);
        if (has_plain && plain_bits)
            *has_plain = 1;
        p += 16;
    }
    if (p < end && end - begin >= 16) {
        // Less than a block is left: take the block that ends at `end`, all
        // of it inside the text, and drop the bits of the bytes before p.
        unsigned skip = static_cast<unsigned>(p - (end - 16));
        char_span_block(end - 16, stop, &stop_bits, has_plain ? &plain_bits : nullptr);
        stop_bits >>= skip;
        plain_bits >>= skip;
        if (stop_bits)
            return char_span_hit(p, stop_bits, plain_bits, has_plain);
        if (has_plain && plain_bits)
            *has_plain = 1;
        return end;
    }
#endif
    for (; p < end; p++) {
        unsigned char k = char_class(*p);
        if (k & stop)
            break;
        if (has_plain && k == 0)
            *has_plain = 1;
    }
    return p;
}

#endif
