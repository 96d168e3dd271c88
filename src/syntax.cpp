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

// The side class of the operator token of `len` characters at `tok`.
delim_type delim_side(const char *tok, int len)
{
    if (is_leftside_delim(tok, len, nullptr))
        return delim_lside;
    if (is_rightside_delim(tok, len, nullptr))
        return delim_rside;
    if (is_bothside_delim(tok, len, nullptr))
        return delim_bside;
    return delim_type_err;
}

// The operator token at `idx`: its side class, and its length, by the
// length rule, in `*symcnt`. Kept out of line: inlined into the scan it
// costs 3 % more instructions on the generated script of
// bench/compare-parse.sh.
[[gnu::noinline]] delim_type delim_gettype(const char *buff, int idx, int *symcnt)
{
    *symcnt = delim_len(buff + idx);
    return delim_side(buff + idx, *symcnt);
}

// Decides an operator that needs a word after it (side class `d_type`) by
// the first token after position `look`, with only spaces between. On an
// error about that token, `*idx` and `*symcnt` are moved to name it.
syntax_state delim_word_after(const char *buff, int *idx, int *symcnt, delim_type d_type,
                              int look)
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
syntax_state delim_handle(const char *buff, int *idx, int *symcnt, delim_type d_type,
                          short cmd_exist)
{
    if (d_type != delim_rside && !cmd_exist)
        return syntax_err;
    if (d_type == delim_lside)
        return syntax_ok;
    return delim_word_after(buff, idx, symcnt, d_type, *idx + *symcnt - 1);
}

// Picks up an unfinished line where the check stopped, now that text has
// been appended (up to `end`): crosses the rest of a quoted stretch still
// open, or decides the operator that waited for its word by the first
// token of the new text. The operator ended with its line: a line that
// starts with an operator character never lengthens it. Answers syntax_ok
// with `*idx` where the scan goes on, or the line's verdict.
syntax_state syntax_resume(const char *buff, const char *end, syntax_scan *scan, int *idx,
                           int *err_pos, int *symcnt)
{
    if (scan->quote) {
        const char *close = quote_set_flags(buff + *idx, &scan->quote);
        if (!close) {
            scan->idx = static_cast<int>(end - buff);
            return syntax_cont_read;
        }
        *idx = static_cast<int>(close - buff) + 1;
    } else if (scan->op_len) {
        int at = scan->op_idx;
        *symcnt = scan->op_len;
        syntax_state res = delim_word_after(
            buff, &at, symcnt, delim_side(buff + at, scan->op_len), *idx - 1);
        if (res == syntax_err)
            *err_pos = at;
        if (res == syntax_cont_read)
            scan->idx = static_cast<int>(end - buff);
        return res;
    }
    return syntax_ok;
}

// The scan at a quote: crosses the quoted stretch, or, when the line ends
// inside it, leaves in `*at` what the check of the continued line starts
// from.
syntax_state scan_quote(const char *buff, const char *end, syntax_scan *at)
{
    char quote = 0;
    const char *close = quote_set_flags(buff + at->idx, &quote);
    if (!close) {
        *at = {.idx = static_cast<int>(end - buff),
               .cmd_exist = 1,
               .quote = quote,
               .op_idx = 0,
               .op_len = 0};
        return syntax_cont_read;
    }
    at->cmd_exist = 1;
    at->idx = static_cast<int>(close - buff) + 1;
    return syntax_ok;
}

// The scan at a backslash: it escapes the next character, or, as the last
// character of the line, becomes a blank and asks for a continuation; an
// operator before it still waits for its word.
syntax_state scan_backslash(char *buff, syntax_scan *at)
{
    if (buff[at->idx + 1] == '\0') {
        buff[at->idx] = ' ';
        if (at->cmd_exist)
            at->op_len = 0;
        return syntax_cont_read;
    }
    at->idx += 2;  // the escaped character is plain text
    at->cmd_exist = 1;
    return syntax_ok;
}

// The scan at an operator: its verdict. On syntax_err `at->idx` names the
// offending token; an operator that waits for a word at the end of the line
// is left in `*at` for the check of the continued line.
syntax_state scan_delim(const char *buff, const char *end, syntax_scan *at, int *symcnt)
{
    delim_type d_type = delim_gettype(buff, at->idx, symcnt);
    syntax_state res =
        delim_handle(buff, &at->idx, symcnt, d_type, static_cast<short>(at->cmd_exist));
    if (res == syntax_err)
        return res;
    at->op_idx = at->idx;
    at->op_len = d_type == delim_lside ? 0 : *symcnt;
    at->cmd_exist = 0;
    at->idx = res == syntax_ok ? at->idx + *symcnt : static_cast<int>(end - buff);
    return res;
}

// One step of the scan at a quote, a backslash or an operator character at
// `at->idx`, with the state of the scan in `*at`: syntax_ok moves `at->idx`
// past what it decided. syntax_cont_read leaves in `*at` what the check of
// the continued line starts from; syntax_err leaves the offending token's
// position in `at->idx`.
syntax_state scan_step(char *buff, const char *end, syntax_scan *at, int *symcnt)
{
    char c = buff[at->idx];
    if (is_quote(c))
        return scan_quote(buff, end, at);
    if (c == '\\')
        return scan_backslash(buff, at);
    return scan_delim(buff, end, at, symcnt);
}

}  // namespace

syntax_state syntax_handle(char *buff, int *err_pos, int *symcnt)
{
    syntax_scan scan = {};
    return syntax_handle_from(buff, &scan, err_pos, symcnt);
}

syntax_state syntax_handle_from(char *buff, syntax_scan *scan, int *err_pos, int *symcnt)
{
    // Only the text appended since the last call is measured, never the
    // whole line again.
    const char *end = buff + scan->idx + strlen(buff + scan->idx);
    int idx = scan->idx;
    syntax_state res = syntax_resume(buff, end, scan, &idx, err_pos, symcnt);
    if (res != syntax_ok || buff[idx] == '\0')
        return res;
    // The line goes on from idx: a quote left open has closed, or the
    // operator that waited has had its word (no command content since it),
    // or nothing was pending.
    char_look lk;
    char_look_start(&lk, buff, end, buff + idx);
    syntax_scan at = {.idx = idx,
                      .cmd_exist = scan->op_len ? 0 : scan->cmd_exist,
                      .quote = 0,
                      .op_idx = scan->op_idx,
                      .op_len = scan->op_len};
    for (;;) {
        // Words and blanks need no decision: cross their run at once,
        // noting whether it held command content.
        at.idx =
            static_cast<int>(char_look_stop(&lk, buff + at.idx, &at.cmd_exist) - buff);
        if (buff[at.idx] == '\0')
            return syntax_ok;
        res = scan_step(buff, end, &at, symcnt);
        if (res == syntax_err)
            *err_pos = at.idx;
        if (res == syntax_cont_read)
            *scan = at;
        if (res != syntax_ok)
            return res;
    }
}

int syntax_tail_handle(const char *text, syntax_tail *tail)
{
    for (const char *p = text; *p; p++) {
        if (tail->quote || is_quote(*p)) {
            p = quote_set_flags(p, &tail->quote);
            if (!p)
                return 1;
            tail->op = 0;
        } else if (*p == '\\') {
            if (p[1] == '\0')
                return 1;  // becomes a blank: an operator before it still waits
            p++;
            tail->op = 0;
        } else if (is_char_from_delim(*p)) {
            int len = delim_len(p);
            tail->op = is_bothside_delim(p, len, nullptr);
            p += len - 1;
        } else if (!is_space(*p)) {
            tail->op = 0;
        }
    }
    return tail->quote || tail->op;
}
