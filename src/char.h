// char.h - the character vocabulary of the command language: the classes
// of single bytes, the classifiers of one- and two-character operators, the
// quote rule, and the scanner that crosses runs of bytes of no interest.
#ifndef HUSK_CHAR_H
#define HUSK_CHAR_H

#include <cstring>

#include "define.h"

// The classes, each a list of its bytes. Everything below (the table, the
// predicates and the block scanner) is made from these lists.
constexpr char space_chars[] = " \t\n\v\f\r";  // never a byte above 127
constexpr char delim_chars[] = ";&|<>";        // start an operator token
constexpr char special_chars[] = "'\"\\";      // the quotes and the backslash

// The classes as bits of one table, for the scanners that test several at
// once on every byte of a line.
constexpr unsigned char cc_space = 1;    // space_chars
constexpr unsigned char cc_delim = 2;    // delim_chars
constexpr unsigned char cc_special = 4;  // special_chars
constexpr unsigned char cc_nul = 8;      // the end of a line

typedef struct def_char_table {
    unsigned char cls[256];
} char_table;

constexpr void char_table_mark(char_table *t, const char *chars, unsigned char bit)
{
    for (; *chars; chars++)
        t->cls[static_cast<unsigned char>(*chars)] |= bit;
}

constexpr char_table char_table_make(void)
{
    char_table t{};
    char_table_mark(&t, space_chars, cc_space);
    char_table_mark(&t, delim_chars, cc_delim);
    char_table_mark(&t, special_chars, cc_special);
    t.cls[0] = cc_nul;
    return t;
}

inline constexpr char_table char_classes = char_table_make();

inline unsigned char char_class(char c)
{
    return char_classes.cls[static_cast<unsigned char>(c)];
}

int is_char_from_delim(char c);  // ; & | < >
int is_char_special(char c);     // ' " and backslash
int is_quote(char c);            // ' and "
int is_space(char c);            // blank, \t \n \v \f \r

// `token` points at a candidate operator and `char_cnt` (1 or 2) says how
// many characters form it; nothing beyond them is read, and a NUL as second
// character fails every two-character form. is_delim with a count of 2 is
// the length rule of operator tokens: a doubled & | < > is one token, any
// other operator character one token by itself. A null token or a count above 2
// or below 1 gives 0 (is_leftside_delim, whose tokens have one character,
// rejects only counts above 1). After a 1, `*dl` holds the kind; `dl` may be
// null. After a 0 the caller must not read `*dl`.
int is_delim(const char *token, int char_cnt);

// The length rule of operator tokens, for the check and the tokeniser
// alike: the length of the operator that starts at `p`, 2 for a doubled
// & | < >, else 1.
inline int delim_len(const char *p)
{
    return is_delim(p, 2) ? 2 : 1;
}

int is_leftside_delim(const char *token, int char_cnt, delim *dl);   // ; &
int is_rightside_delim(const char *token, int char_cnt, delim *dl);  // < > << >>
int is_bothside_delim(const char *token, int char_cnt, delim *dl);   // | || &&
int is_word_delim(const char *token, int char_cnt, delim *dl);       // redirections
int is_cmd_delim(const char *token, int char_cnt, delim *dl);        // ; & | || &&

// The quote rule: a quote character starts a stretch of plain text that
// runs to the next quote of the same kind, so quotes do not nest, a quote
// of the other kind inside is plain text, and a backslash inside escapes
// nothing. `*quote` stands for the flags of the scan: 0 outside quotes,
// else the quote of the open stretch. Outside quotes `at` is the quote that
// opens a stretch; inside one, `at` is where the search for its end goes
// on (the start of a continuation line). Gives the quote that closes the
// stretch, with `*quote` cleared, or null when the line ends first, with
// `*quote` telling which stretch stays open.
inline const char *quote_set_flags(const char *at, char *quote)
{
    if (!*quote)
        *quote = *at++;
    const char *close = strchr(at, *quote);
    if (close)
        *quote = 0;
    return close;
}

// The walk's entries below are inline: the compiler puts them into the
// check and the tokeniser, with no call per token. A build with
// HUSK_NO_INLINE_WALK (the HUSK_INLINE_WALK switch off) keeps them out of
// line, to measure what that saves.
#ifdef HUSK_NO_INLINE_WALK
#define HUSK_WALK_INLINE [[gnu::noinline]] inline
#else
#define HUSK_WALK_INLINE inline
#endif

// A left-to-right walk over a NUL-terminated line that classifies its bytes
// sixteen at a time: one look serves every question about the bytes it
// covers. Bit i of the two masks stands for the byte base[i].
typedef struct def_char_look {
    const char *line;  // the line's first byte
    const char *end;   // its terminator
    const char *base;  // the sixteen bytes looked at last
    unsigned spaces;   // which of them are spaces
    unsigned stops;    // which are operator characters, quotes, backslashes
                       // or NULs
} char_look;

// Bits of the sixteen bytes at `p`: the spaces, and the operator
// characters, quotes, backslashes and NULs.
void char_block(const char *p, unsigned *spaces, unsigned *stops);

// Looks at the last sixteen bytes of the line and its terminator; a line
// shorter than that is looked at in a copy filled up with NULs.
void char_look_tail(char_look *lk);

// Looks at sixteen bytes that hold `p`, all of them inside the line or its
// terminator: nothing outside them is read.
inline void char_look_at(char_look *lk, const char *p)
{
    if (lk->end + 1 - p < 16) {
        char_look_tail(lk);
        return;
    }
    lk->base = p;
    char_block(p, &lk->spaces, &lk->stops);
}

// Starts a walk over the line [line, end], `end` its terminator, at `p`.
HUSK_WALK_INLINE void char_look_start(char_look *lk, const char *line, const char *end,
                                      const char *p)
{
    lk->line = line;
    lk->end = end;
    char_look_at(lk, p);
}

// The first operator character, quote, backslash or terminator at or after
// `p`, which the walk has not passed. When a byte that is neither such a
// stop nor a space lies before it, `*has_plain` is set to 1 (it is never
// cleared).
HUSK_WALK_INLINE const char *char_look_stop(char_look *lk, const char *p, int *has_plain)
{
    for (;;) {
        size_t off = static_cast<size_t>(p - lk->base);
        if (off < 16) {
            // Before the first stop, a byte that is no space is plain.
            unsigned stops = lk->stops >> off;
            unsigned before = stops ? (stops & -stops) - 1 : 0xffffu >> off;
            if (~(lk->spaces >> off) & before)
                *has_plain = 1;
            if (stops)
                return p + __builtin_ctz(stops);
            p = lk->base + 16;
        }
        char_look_at(lk, p);
    }
}

// The first space, operator character, quote, backslash or terminator at
// or after `p`, which the walk has not passed: where a word ends, or where
// it needs rewriting.
HUSK_WALK_INLINE const char *char_look_word_end(char_look *lk, const char *p)
{
    for (;;) {
        size_t off = static_cast<size_t>(p - lk->base);
        if (off < 16) {
            unsigned ends = (lk->stops | lk->spaces) >> off;
            if (ends)
                return p + __builtin_ctz(ends);
            p = lk->base + 16;
        }
        char_look_at(lk, p);
    }
}

#endif
