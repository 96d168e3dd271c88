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

inline int op_len(const op_info &op)
{
    return static_cast<int>(std::string_view(op.text).size());
}

bool op_char(char c);     // ; & | < >, never the NUL
bool space_char(char c);  // blank, \t \n \v \f \r

// The length of the operator at `b[i]`: a doubled & | < > is one token,
// any other operator character one token by itself.
int op_len(const std::string &b, size_t i);

// A run of operator characters cut into tokens by that rule.
std::vector<std::string> op_cut(const std::string &run);

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
    bool operator==(const token &o) const
    {
        return text == o.text && is_delim == o.is_delim;
    }
};

// The tokens of an accepted line, and the -s listing of them.
std::vector<token> ref_tokens(const std::string &b);
std::string render(const std::vector<token> &toks);

// Whether `t`, the text of a command line that failed the check joined with
// the lines it went on into, goes on past its end: an open quote, a final
// backslash outside quotes (which becomes a blank, as on a continuation), or
// a last token | || or &&. Where operators stand is not judged.
bool ref_goes_on(std::string &t);

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
