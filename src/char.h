// char.h - character and delimiter classifiers, shared by the syntax check,
// the tokeniser and the executor. Each answers 1 or 0 and has no side effect.
#ifndef HUSK_CHAR_H
#define HUSK_CHAR_H

#include <cstring>

#include "define.h"

int is_char_from_delim(char c);  // ; & | < >
int is_char_special(char c);     // ' " and backslash
int is_quote(char c);            // ' and "
int is_space(char c);            // blank, \t \n \v \f \r; never a byte above 127

// `token` points at a candidate operator and `char_cnt` (1 or 2) says how
// many characters form it; nothing beyond them is read, and a NUL as second
// character fails every two-character form. A null token or a count out of
// range gives 0. After a 1, `*dl` holds the kind; `dl` may be null. After a
// 0 the caller must not read `*dl`.
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

#endif
