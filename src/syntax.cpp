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
    int tmp_idx = *idx + *symcnt - 1;
    switch (buff_find_next_token(buff, &tmp_idx)) {
    case tok_word:
        return syntax_ok;
    case tok_delim:
        *idx = tmp_idx;
        delim_gettype(buff, tmp_idx, symcnt);
        return syntax_err;
    case tok_none:
        break;
    }
    return d_type == delim_bside ? syntax_cont_read : syntax_err;
}

}  // namespace

syntax_state syntax_handle(char *buff, int *err_pos, int *symcnt)
{
    int cmd_exist = 0;
    int idx = 0;
    const char *end = buff + strlen(buff);
    for (;;) {
        // Words and blanks need no decision: cross their run at once,
        // noting whether it held command content.
        idx = static_cast<int>(
            char_span(buff, buff + idx, end, cc_delim | cc_special, &cmd_exist) - buff);
        char c = buff[idx];
        if (c == '\0')
            return syntax_ok;
        if (is_quote(c)) {
            cmd_exist = 1;
            const char *close = quote_find_close(buff + idx);
            if (!close)
                return syntax_cont_read;
            idx = static_cast<int>(close - buff) + 1;
        } else if (c == '\\') {
            if (buff[idx + 1] == '\0') {
                buff[idx] = ' ';
                return syntax_cont_read;
            }
            idx += 2;  // the escaped character is plain text
            cmd_exist = 1;
        } else {
            delim_type d_type = delim_gettype(buff, idx, symcnt);
            syntax_state res = delim_handle(buff, &idx, symcnt, d_type,
                                            static_cast<short>(cmd_exist));
            if (res == syntax_err)
                *err_pos = idx;
            if (res != syntax_ok)
                return res;
            cmd_exist = 0;
            idx += *symcnt;
        }
    }
}
