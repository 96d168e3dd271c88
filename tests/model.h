// model.h - the command language read straight from its rules, one
// character at a time, with no regard for speed: the reference that the
// unit tests, the fuzz targets and the exhaustive runs hold the shell to,
// and the texts of the shell's messages about its input.
#ifndef HUSK_MODEL_H
#define HUSK_MODEL_H

#include <string>
#include <string_view>
#include <vector>

#include "define.h"
#include "syntax.h"

namespace husk_test {

// The nine operator tokens.
struct op_info {
    const char *text;  // the token as written
    delim kind;        // what the classifiers report for it
    char side;         // 'l' ends a command, 'r' redirects, 'b' joins two
};

inline constexpr op_info ops[] = {
    {";", delim_semi, 'l'},         {"&", delim_ampersand, 'l'},
    {"|", delim_pipe, 'b'},         {"||", delim_logical_or, 'b'},
    {"&&", delim_logical_and, 'b'}, {"<", delim_redir_in, 'r'},
    {">", delim_redir_out, 'r'},    {"<<", delim_redir_in2, 'r'},
    {">>", delim_redir_out2, 'r'},
};

// The operator whose text is exactly `text`, or null.
const op_info *op_find(std::string_view text);

bool op_char(char c);     // ; & | < >, never the NUL
bool space_char(char c);  // blank, \t \n \v \f \r

// The length of the operator at `b[i]`: a doubled & | < > is one token,
// any other operator character one token by itself.
int op_len(const std::string &b, size_t i);

// The check's answer; the position and length count only with syntax_err.
struct verdict {
    int st, pos, len;
    bool operator==(const verdict &o) const
    {
        return st == o.st && (st != syntax_err || (pos == o.pos && len == o.len));
    }
};

// The syntax check of a whole line, with its one rewrite: a final
// backslash outside quotes becomes a blank.
verdict ref_check(std::string &b);

// A quoted stretch is still open at the end of `b`.
bool quote_open_at_end(const std::string &b);

struct token {
    std::string text;
    int is_delim;
    bool operator==(const token &) const = default;
};

// The tokens of a line, an unfinished one too (an open quote runs to its
// end, a final backslash escapes nothing), and the -s listing of them.
std::vector<token> ref_tokens(const std::string &b);
std::string render(const std::vector<token> &toks);

// Calls `fn` on `line` and on every line made of it and up to `max` of
// `members` after it, until `fn` answers false; answers whether it never did.
template <typename F>
bool every_line(const std::vector<std::string> &members, int max, const std::string &line,
                F &fn)
{
    if (!fn(line))
        return false;
    for (size_t i = 0; max > 0 && i < members.size(); i++)
        if (!every_line(members, max - 1, line + members[i], fn))
            return false;
    return true;
}

// The short lines the unit tests hold the line analysis to the model on:
// every line of up to five bytes, of one byte of each class the analysis
// tells apart (blank, tab, a letter and a byte above 127 for all plain
// bytes, each operator character, both quotes, the backslash), and every
// line of up to four tokens, a word or one of the nine operators, written
// together and with a blank before each. Calls `fn` on each, as above.
template <typename F> bool every_short_line(F fn)
{
    std::vector<std::string> bytes, joined = {"a"}, spaced = {" a"};
    for (char c : std::string_view(" \ta\xff;&|<>'\"\\"))
        bytes.push_back(std::string(1, c));
    for (const op_info &op : ops) {
        joined.push_back(op.text);
        spaced.push_back(std::string(" ") + op.text);
    }
    return every_line(bytes, 5, "", fn) && every_line(joined, 4, "", fn) &&
           every_line(spaced, 4, "", fn);
}

// The shell's messages about its input.
inline constexpr const char *msg_nul = "Error: line holds a NUL byte; skipped.\n";
inline constexpr const char *msg_eoi = "Error: unexpected end of input.\n";
std::string msg_unexpected(const std::string &tok);

// What `husk -s` writes on its standard output and error for the script
// `input`, read from a file or a pipe.
struct listing {
    std::string out, err;
};
listing ref_listing(const std::string &input);

}  // namespace husk_test

#endif
