// word.cpp - the token list and the tokeniser.
//
// A word and its text share one allocation: the text follows the record.
// The tokeniser does not copy a token before it is stored: it hands out a
// pointer into the line (operators and words without quotes or backslashes)
// or into a scratch text that holds a rewritten word, and the list copies
// from there once.
#include "word.h"

#include <cstdio>
#include <cstring>

#include "char.h"
#include "out.h"

namespace {

// The scratch text for words whose quotes and backslashes are removed. It
// lives for one line, grows as a word needs, and is reused word after word.
typedef struct def_tok_buff {
    char *str;    // null until the first rewritten word
    size_t size;  // capacity in bytes
} tok_buff;

constexpr size_t tok_buff_first_size = 256;

word *word_init(size_t text_len)
{
    word *w = static_cast<word *>(mem_malloc(sizeof(word) + text_len + 1));
    w->str = reinterpret_cast<char *>(w + 1);
    w->is_delim = 0;
    w->next = nullptr;
    w->prev = nullptr;
    return w;
}

// Appends a copy of the `len` characters at `str` at the tail.
void word_list_push(word_list *wl, const char *str, int len, short is_delim)
{
    if (!wl)
        return;
    word *w = word_init(static_cast<size_t>(len));
    memcpy(w->str, str, static_cast<size_t>(len));
    w->str[len] = '\0';
    w->is_delim = is_delim > 0 ? 1 : 0;
    w->prev = wl->tail;
    if (wl->tail)
        wl->tail->next = w;
    else
        wl->head = w;
    wl->tail = w;
}

void word_list_pop(word_list *wl)
{
    word *w = wl->tail;
    if (!w)
        return;
    wl->tail = w->prev;
    if (wl->tail)
        wl->tail->next = nullptr;
    else
        wl->head = nullptr;
    free(w);
}

int word_list_size(const word_list *wl)
{
    int n = 0;
    for (const word *w = wl ? wl->head : nullptr; w; w = w->next)
        n++;
    return n;
}

int tok_space_handle(const char *buff, int idx)
{
    int n = 0;
    while (char_class(buff[idx + n]) & cc_space)
        n++;
    return n;
}

// Length of the operator at `idx`: 2 for a doubled & | < >, else 1.
int tok_delim_handle(const char *buff, int idx)
{
    return is_delim(buff + idx, 2) ? 2 : 1;
}

// Makes room for `need` bytes in the scratch text.
void tok_buff_reserve(tok_buff *tok, size_t need)
{
    if (need <= tok->size)
        return;
    size_t size = tok->size ? tok->size : tok_buff_first_size;
    while (size < need)
        size *= 2;
    tok->str = static_cast<char *>(mem_realloc(tok->str, size));
    tok->size = size;
}

// Appends the `n` characters at `text`, taken from a line that ends at
// `end`, to the scratch text at `*tok_idx`. Pieces are mostly short, and
// copying a fixed sixteen bytes instead of `n` avoids the library's
// dispatch on the size (15 to 20 percent of the listing's time).
void tok_buff_add(tok_buff *tok, size_t *tok_idx, const char *text, size_t n,
                  const char *end)
{
    tok_buff_reserve(tok, *tok_idx + n + 17);
    // In bounds: the scratch text has 17 bytes to spare, and the sixteen
    // source bytes lie in the line, its NUL included.
    if (n <= 16 && end + 1 - text >= 16)
        memcpy(tok->str + *tok_idx, text, 16);
    else
        memcpy(tok->str + *tok_idx, text, n);
    *tok_idx += n;
}

// Scans the word that starts at `idx` (never a space, an operator character
// or the end). Returns the number of line characters it takes up. A word
// with a quote or a backslash is rewritten into `tok` without them and its
// length stored in `*tok_len`; otherwise `*tok_len` is -1 and the word's
// text is simply the characters it takes up. It runs once per word:
// flattened, the scanner and the appends it calls cost no calls.
[[gnu::flatten]] int tok_word_handle(const char *buff, const char *end, int idx, tok_buff *tok,
                    int *tok_len)
{
    constexpr unsigned char stop = cc_space | cc_delim | cc_special;
    const char *p = char_span(buff, buff + idx, end, stop, nullptr);
    if (p == end || !(char_class(*p) & cc_special)) {
        *tok_len = -1;
        return static_cast<int>(p - (buff + idx));
    }
    size_t tok_idx = 0;
    tok_buff_add(tok, &tok_idx, buff + idx, static_cast<size_t>(p - (buff + idx)), end);
    while (p < end && (char_class(*p) & cc_special)) {
        if (*p == '\\') {
            // The next character is taken literally, whatever it is; a
            // backslash at the very end of the line escapes nothing.
            if (p + 1 < end)
                tok_buff_add(tok, &tok_idx, p + 1, 1, end);
            p += p + 1 < end ? 2 : 1;
        } else {
            // Both quotes are dropped; an unclosed one runs to the end.
            const char *close = quote_find_close(p + 1, *p);
            const char *stretch_end = close ? close : end;
            tok_buff_add(tok, &tok_idx, p + 1, static_cast<size_t>(stretch_end - (p + 1)), end);
            p = close ? close + 1 : end;
        }
        const char *q = char_span(buff, p, end, stop, nullptr);
        tok_buff_add(tok, &tok_idx, p, static_cast<size_t>(q - p), end);
        p = q;
    }
    tok->str[tok_idx] = '\0';
    *tok_len = static_cast<int>(tok_idx);
    return static_cast<int>(p - (buff + idx));
}

// Reads the token at `*buff_idx` and moves `*buff_idx` past it. Returns its
// text, `*len` characters not NUL-terminated, pointing into the line or into
// `tok`; null when only spaces remain. `*is_delim` tells operators apart.
const char *token_handle(const char *buff, const char *end, int *buff_idx,
                         short *is_delim, int *len, tok_buff *tok)
{
    int idx = *buff_idx;
    idx += tok_space_handle(buff, idx);
    *buff_idx = idx;
    if (buff[idx] == '\0')
        return nullptr;
    const char *text = buff + idx;
    int taken;
    if (char_class(buff[idx]) & cc_delim) {
        taken = tok_delim_handle(buff, idx);
        *len = taken;
        *is_delim = 1;
    } else {
        int tok_len;
        taken = tok_word_handle(buff, end, idx, tok, &tok_len);
        *len = taken;
        if (tok_len >= 0) {
            text = tok->str;
            *len = tok_len;
        }
        *is_delim = 0;
    }
    *buff_idx = idx + taken;
    return text;
}

}  // namespace

word_list *word_list_init(void)
{
    return static_cast<word_list *>(mem_calloc(1, sizeof(word_list)));
}

word_list *word_list_from_buff(const char *buff)
{
    if (!buff || buff[0] == '\0')
        return nullptr;
    word_list *wl = word_list_init();
    const char *end = buff + strlen(buff);
    tok_buff tok = {nullptr, 0};
    int idx = 0, len;
    short is_delim;
    const char *text;
    while ((text = token_handle(buff, end, &idx, &is_delim, &len, &tok)))
        word_list_push(wl, text, len, is_delim);
    free(tok.str);
    return wl;
}

void word_list_print(const word_list *wl)
{
    if (!wl)
        return;
    for (const word *w = wl->head; w; w = w->next) {
        out_put("[", 1);
        out_put(w->str, strlen(w->str));
        out_put(w->next ? "] " : "]\n", 2);
    }
    if (wl->head)
        out_line_end();
}

namespace {

// Adds the separator `sep` (`sep_len` bytes) and the `n` bytes of a token
// to the line being listed.
void token_print(const char *sep, size_t sep_len, const char *text, size_t n)
{
    char *p = out_room(sep_len + n);
    if (!p) {
        out_put(sep, sep_len);
        out_put(text, n);
        return;
    }
    memcpy(p, sep, sep_len);
    memcpy(p + sep_len, text, n);
    out_used(sep_len + n);
}

}  // namespace

void word_list_print_from_buff(const char *buff)
{
    if (!buff)
        return;
    const char *end = buff + strlen(buff);
    tok_buff tok = {nullptr, 0};
    int idx = 0, len;
    short is_delim;
    const char *text;
    const char *sep = "[";  // before the first token, then "] ["
    size_t sep_len = 1;
    while ((text = token_handle(buff, end, &idx, &is_delim, &len, &tok))) {
        token_print(sep, sep_len, text, static_cast<size_t>(len));
        sep = "] [";
        sep_len = 3;
    }
    if (sep_len == 3)
        out_line("]\n", 2);
    free(tok.str);
}

char **word_list_part_to_argv(const word *head, int len)
{
    if (!head || len < 0)
        fatal(1, nullptr, "word_list_part_to_argv: wrong arg!\n");
    if (len == 0)
        return nullptr;
    char **argv = static_cast<char **>(
        mem_calloc(static_cast<size_t>(len) + 1, sizeof(char *)));
    const word *w = head;
    for (int i = 0; i < len; i++, w = w->next) {
        if (!w)
            fatal(1, nullptr, "word_list_part_to_argv: len > actual size\n");
        argv[i] = w->str;
    }
    return argv;
}

char **word_list_to_argv(const word_list *wl)
{
    int n = word_list_size(wl);
    return n ? word_list_part_to_argv(wl->head, n) : nullptr;
}

void word_list_destroy(word_list **wl)
{
    if (!wl || !*wl)
        return;
    while ((*wl)->head)
        word_list_pop(*wl);
    free(*wl);
    *wl = nullptr;
}
