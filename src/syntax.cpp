// syntax.cpp - one left-to-right pass over a command line that decides
// whether it is complete, unfinished, or holds a misplaced operator.
#include "syntax.h"

#include "char.h"

namespace {

// Flips the open-quote flags for one quote character. Quotes do not nest:
// inside a stretch, a quote of the other kind is plain text.
void quote_set_flags(char c, int *sgl_quote, int *dbl_quote, int *is_in_quotes)
{
    if (c == '\'' && !*dbl_quote)
        *sgl_quote = !*sgl_quote;
    else if (c == '"' && !*sgl_quote)
        *dbl_quote = !*dbl_quote;
    else
        return;
    *is_in_quotes = *sgl_quote || *dbl_quote;
}

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
    int quote = 0, dbl_quote = 0, is_in_quotes = 0;
    int cmd_exist = 0;
    for (int idx = 0; buff[idx] != '\0'; idx++) {
        char c = buff[idx];
        if (!is_in_quotes) {
            if (is_char_from_delim(c)) {
                delim_type d_type = delim_gettype(buff, idx, symcnt);
                syntax_state res = delim_handle(buff, &idx, symcnt, d_type,
                                                static_cast<short>(cmd_exist));
                if (res == syntax_err)
                    *err_pos = idx;
                if (res != syntax_ok)
                    return res;
                cmd_exist = 0;
                idx += *symcnt - 1;
                continue;
            }
            if (c == '\\') {
                if (buff[idx + 1] == '\0') {
                    buff[idx] = ' ';
                    return syntax_cont_read;
                }
                idx++;  // the escaped character is plain text
                cmd_exist = 1;
                continue;
            }
            if (!is_space(c))
                cmd_exist = 1;
        }
        if (is_quote(c))
            quote_set_flags(c, &quote, &dbl_quote, &is_in_quotes);
    }
    return is_in_quotes ? syntax_cont_read : syntax_ok;
}
