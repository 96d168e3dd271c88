// syntax.cpp - one left-to-right pass over a command line that decides
// whether it is complete, unfinished, or holds a misplaced operator.
#include "syntax.h"

#include <cstring>

#include "char.h"

namespace {

// Looks for the first non-space after `*buff_idx`. Moves `*buff_idx` there
// unless only spaces remain.
token_type buff_find_next_token(const char *buff, int *buff_idx)
{
    int i = *buff_idx + 1;
    while (is_space(buff[i]))
        i++;
    if (buff[i] == '\0')
        return tok_none;
    *buff_idx = i;
    return is_char_from_delim(buff[i]) ? tok_delim : tok_word;
}

// The delimiter length rule: a doubled & | < > is one token, anything else
// one character. Gives the token's side class and its length in `*symcnt`.
delim_type delim_gettype(const char *buff, int idx, int *symcnt)
{
    const char *tok = buff + idx;
    *symcnt = 1;
    if (is_char_from_delim(tok[1])) {
        *symcnt = 2;
        if (is_delim(tok, 2)) {
            if (is_rightside_delim(tok, 2, nullptr))
                return delim_rside;
            if (is_bothside_delim(tok, 2, nullptr))
                return delim_bside;
        }
        *symcnt = 1;
    }
    if (is_leftside_delim(tok, 1, nullptr))
        return delim_lside;
    if (is_rightside_delim(tok, 1, nullptr))
        return delim_rside;
    if (is_bothside_delim(tok, 1, nullptr))
        return delim_bside;
    return delim_type_err;
}

// Decides an operator that needs a word after it (side class `d_type`) by
// the first token after position `look`, with only spaces between. On an
// error about that token, `*idx` and `*symcnt` are moved to name it.
syntax_state delim_word_after(const char *buff, int *idx, int *symcnt,
                              delim_type d_type, int look)
{
    switch (buff_find_next_token(buff, &look)) {
    case tok_word:
        return syntax_ok;
    case tok_delim:
        *idx = look;
        delim_gettype(buff, look, symcnt);
        return syntax_err;
    case tok_none:
        break;
    }
    return d_type == delim_bside ? syntax_cont_read : syntax_err;
}

// The verdict on one operator token at `*idx`. On an error about the token
// that follows, `*idx` and `*symcnt` are moved to name that token.
syntax_state delim_handle(const char *buff, int *idx, int *symcnt,
                          delim_type d_type, short cmd_exist)
{
    if (d_type == delim_type_err)
        return syntax_err;
    if (d_type != delim_rside && !cmd_exist)
        return syntax_err;
    if (d_type == delim_lside)
        return syntax_ok;
    return delim_word_after(buff, idx, symcnt, d_type, *idx + *symcnt - 1);
}

// Picks up an unfinished line where the check stopped, now that text has
// been appended (up to `end`): crosses the rest of a quoted stretch still
// open, or decides the operator that waited for its word. Answers syntax_ok
// with `*idx` where the scan goes on, or the line's verdict.
syntax_state syntax_resume(const char *buff, const char *end, syntax_scan *scan,
                           int *idx, int *err_pos, int *symcnt)
{
    if (scan->quote) {
        const char *close = strchr(buff + *idx, scan->quote);
        if (!close) {
            scan->idx = static_cast<int>(end - buff);
            return syntax_cont_read;
        }
        *idx = static_cast<int>(close - buff) + 1;
    } else if (scan->op_len) {
        int at = scan->op_idx;
        syntax_state res = delim_word_after(
            buff, &at, symcnt, delim_gettype(buff, at, symcnt), *idx - 1);
        if (res == syntax_err)
            *err_pos = at;
        if (res == syntax_cont_read)
            scan->idx = static_cast<int>(end - buff);
        return res;
    }
    return syntax_ok;
}

}  // namespace

syntax_state syntax_handle(char *buff, int *err_pos, int *symcnt)
{
    syntax_scan scan = {};
    return syntax_handle_from(buff, &scan, err_pos, symcnt);
}

syntax_state syntax_handle_from(char *buff, syntax_scan *scan, int *err_pos,
                                int *symcnt)
{
    int idx = scan->idx;
    int cmd_exist = scan->cmd_exist;
    // The last operator accepted for the word after it, while nothing but
    // spaces follows it: a trailing backslash turned blank takes that word
    // away again.
    int op_idx = scan->op_idx, op_len = scan->op_len;
    // Only the text appended since the last call is measured, never the
    // whole line again.
    const char *end = buff + idx + strlen(buff + idx);
    syntax_state res = syntax_resume(buff, end, scan, &idx, err_pos, symcnt);
    if (res != syntax_ok)
        return res;
    if (op_len)
        cmd_exist = 0;  // the waiting operator has its word
    for (;;) {
        // Words and blanks need no decision: cross their run at once,
        // noting whether it held command content.
        idx = static_cast<int>(
            char_span(buff, buff + idx, end, cc_delim | cc_special, &cmd_exist) - buff);
        char c = buff[idx];
        if (c == '\0')
            return syntax_ok;
        if (is_quote(c)) {
            const char *close = quote_find_close(buff + idx);
            if (!close) {
                *scan = {static_cast<int>(end - buff), 1, c, 0, 0};
                return syntax_cont_read;
            }
            cmd_exist = 1;
            idx = static_cast<int>(close - buff) + 1;
        } else if (c == '\\') {
            if (buff[idx + 1] == '\0') {
                buff[idx] = ' ';
                *scan = {idx, cmd_exist, 0, op_idx, cmd_exist ? 0 : op_len};
                return syntax_cont_read;
            }
            idx += 2;  // the escaped character is plain text
            cmd_exist = 1;
        } else {
            delim_type d_type = delim_gettype(buff, idx, symcnt);
            res = delim_handle(buff, &idx, symcnt, d_type, static_cast<short>(cmd_exist));
            if (res == syntax_ok) {
                op_idx = idx;
                op_len = d_type == delim_lside ? 0 : *symcnt;
                cmd_exist = 0;
                idx += *symcnt;
                continue;
            }
            if (res == syntax_err)
                *err_pos = idx;
            else
                *scan = {static_cast<int>(end - buff), cmd_exist, 0, idx, *symcnt};
            return res;
        }
    }
}
