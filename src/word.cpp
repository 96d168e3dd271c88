// word.cpp - the token list and the tokeniser.
//
// A word and its text share one allocation: the text follows the record.
// The tokeniser does not copy a token before it is stored: it hands out a
// pointer into the line (operators and words without quotes or backslashes)
// or into a scratch text that holds a rewritten word, and the list copies
// from there once.
#include "word.h"

#include <cstring>

#include "char.h"
#include "out.h"

namespace {

// The scratch text for words whose quotes and backslashes are removed. It
// grows as a word needs and is reused word after word and line after line:
// only a block grown beyond tok_buff_keep_size is given back after its
// line, so one long word does not keep its memory for the rest of the run.
typedef struct def_tok_buff {
    char *str;    // null until the first rewritten word
    size_t size;  // capacity in bytes
} tok_buff;

constexpr size_t tok_buff_first_size = 256;
constexpr size_t tok_buff_keep_size = 1 << 16;

tok_buff scratch;

// Ends a line's use of the scratch text.
void tok_buff_release(void)
{
    if (scratch.size > tok_buff_keep_size) {
        free(scratch.str);
        scratch = {nullptr, 0};
    }
}

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

// Removes the tail word of a list that has one.
void word_list_pop(word_list *wl)
{
    word *w = wl->tail;
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

// Appends the `n` characters at `text` to the scratch text at `*tok_idx`.
void tok_buff_add(tok_buff *tok, size_t *tok_idx, const char *text, size_t n)
{
    tok_buff_reserve(tok, *tok_idx + n + 1);
    memcpy(tok->str + *tok_idx, text, n);
    *tok_idx += n;
}

// The tokeniser's place in a line, and its look at the line's bytes.
typedef struct def_tok_scan {
    const char *p;  // the next character to read
    char_look lk;
} tok_scan;

void tok_scan_start(tok_scan *ts, const char *line, const char *end)
{
    ts->p = line;
    char_look_start(&ts->lk, line, end, line);
}

// The rest of a word that holds a quote or a backslash, the first of them
// at `q`, its first characters at `p`: rewritten into `tok` without them.
// Moves the scan past the word and gives the text's length.
int tok_word_rewrite(tok_scan *ts, const char *p, const char *q, tok_buff *tok)
{
    size_t tok_idx = 0;
    tok_buff_add(tok, &tok_idx, p, static_cast<size_t>(q - p));
    while (char_class(*q) & cc_special) {
        if (*q == '\\') {
            // The next character is taken literally, whatever it is; a
            // backslash at the very end of the line escapes nothing.
            if (q + 1 < ts->lk.end)
                tok_buff_add(tok, &tok_idx, q + 1, 1);
            q += q + 1 < ts->lk.end ? 2 : 1;
        } else {
            // Both quotes are dropped; an unclosed one runs to the end.
            char quote = 0;
            const char *close = quote_set_flags(q, &quote);
            const char *stretch_end = close ? close : ts->lk.end;
            tok_buff_add(tok, &tok_idx, q + 1,
                         static_cast<size_t>(stretch_end - (q + 1)));
            q = close ? close + 1 : ts->lk.end;
        }
        const char *r = char_look_word_end(&ts->lk, q);
        tok_buff_add(tok, &tok_idx, q, static_cast<size_t>(r - q));
        q = r;
    }
    ts->p = q;
    return static_cast<int>(tok_idx);
}

// The number of spaces in a row from `buff`.
[[gnu::always_inline]] inline size_t tok_space_handle(const char *buff)
{
    const char *p = buff;
    while (char_class(*p) & cc_space)
        p++;
    return static_cast<size_t>(p - buff);
}

// Scans the word at `buff`, where the scan stands, and moves the scan past
// the characters it takes up. Gives its text, `*len` characters: the
// word's own characters in the line, or, for a word that holds a quote or a
// backslash, its rewrite without them in `token`.
[[gnu::always_inline]] inline const char *tok_word_handle(tok_scan *ts, const char *buff,
                                                          int *len, tok_buff *token)
{
    const char *q = char_look_word_end(&ts->lk, buff);
    if (char_class(*q) & cc_special) {
        *len = tok_word_rewrite(ts, buff, q, token);
        return token->str;
    }
    *len = static_cast<int>(q - buff);
    ts->p = q;
    return buff;
}

// Reads the next token and moves past it. Returns its text, `*len`
// characters not NUL-terminated, pointing into the line or into `tok`;
// null when only spaces remain. `*is_delim` tells operators apart.
[[gnu::always_inline]] inline const char *token_handle(tok_scan *ts, short *is_delim,
                                                       int *len, tok_buff *tok)
{
    const char *p = ts->p + tok_space_handle(ts->p);
    ts->p = p;
    if (*p == '\0')
        return nullptr;
    if (char_class(*p) & cc_delim) {
        *is_delim = 1;
        *len = delim_len(p);
        ts->p = p + *len;
        return p;
    }
    *is_delim = 0;
    return tok_word_handle(ts, p, len, tok);
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
    tok_scan ts;
    tok_scan_start(&ts, buff, buff + strlen(buff));
    int len;
    short is_delim;
    const char *text;
    while ((text = token_handle(&ts, &is_delim, &len, &scratch)))
        word_list_push(wl, text, len, is_delim);
    tok_buff_release();
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

// Whether short tokens are copied as sixteen bytes (token_put). A build
// with HUSK_NO_COPY16 (the HUSK_COPY16 switch off) copies exactly `n`
// bytes always, to measure what the fixed copies buy.
#ifdef HUSK_NO_COPY16
constexpr int copy16 = 0;
#else
constexpr int copy16 = 1;
#endif

// Writes a token of `n` bytes at `d`, after "[" for the first token of a
// line and "] [" for the others, and gives the end of what it wrote, which
// may be 19 bytes beyond it. `readable` is how many bytes may be read at
// `text`. A short token, the most common kind, is copied as sixteen bytes:
// a copy of `n` bytes branches on the size, which the varying lengths of
// tokens make the processor guess wrong.
char *token_put(char *d, int first, const char *text, size_t n, size_t readable)
{
    if (!first) {
        *d++ = ']';
        *d++ = ' ';
    }
    *d++ = '[';
    if (copy16 && n <= 16 && readable >= 16)
        memcpy(d, text, 16);
    else
        memcpy(d, text, n);
    return d + n;
}

// The listing of a token too long for the writer's block: through
// out_put, which writes such a text without copying it.
void token_write(int first, const char *text, size_t n)
{
    if (first)
        out_put("[", 1);
    else
        out_put("] [", 3);
    out_put(text, n);
}

// The same with room asked of the writer for the token alone, for a line
// whose listing is larger than the writer can give room for at once.
void token_print(int first, const char *text, size_t n, size_t readable)
{
    char *start = out_room(n + 19);
    if (start)
        out_used(static_cast<size_t>(token_put(start, first, text, n, readable) - start));
    else
        token_write(first, text, n);
}

// How many bytes may be read at `text`, a token's text in the line of `ts`
// or in the scratch text.
size_t token_readable(const tok_scan *ts, const char *text)
{
    const char *limit = text == scratch.str ? scratch.str + scratch.size : ts->lk.end + 1;
    return static_cast<size_t>(limit - text);
}

// Lists the tokens of the line of `ts` at `start`, where the writer has
// given room for the whole listing, and counts what it wrote. Gives 1 when
// the line has a token, else 0.
int line_put(tok_scan *ts, char *start)
{
    char *d = start;
    int len;
    short is_delim;
    const char *text;
    while ((text = token_handle(ts, &is_delim, &len, &scratch)))
        d = token_put(d, d == start, text, static_cast<size_t>(len),
                      token_readable(ts, text));
    out_used(static_cast<size_t>(d - start));
    return d != start;
}

// The same for a line whose listing is larger than the writer can give
// room for at once, token by token.
int line_print(tok_scan *ts)
{
    int len;
    short is_delim;
    const char *text;
    int first = 1;
    while ((text = token_handle(ts, &is_delim, &len, &scratch))) {
        token_print(first, text, static_cast<size_t>(len), token_readable(ts, text));
        first = 0;
    }
    return !first;
}

}  // namespace

void word_list_print_from_buff(const char *buff)
{
    if (!buff)
        return;
    size_t n = strlen(buff);
    tok_scan ts;
    tok_scan_start(&ts, buff, buff + n);
    // A line's listing takes at most four bytes for each of its characters
    // (a;b gives [a] [;] [b]). Room for all of it at once spares a question
    // to the writer for every token.
    char *room = n < out_block_size / 8 ? out_room((4 * n) + 19) : nullptr;
    if (room ? line_put(&ts, room) : line_print(&ts))
        out_line("]\n", 2);
    tok_buff_release();
}

char **word_list_part_to_argv(const word *head, int len)
{
    if (!head || len < 0)
        fatal(1, nullptr, "word_list_part_to_argv: wrong arg!\n");
    if (len == 0)
        return nullptr;
    char **argv =
        static_cast<char **>(mem_calloc(static_cast<size_t>(len) + 1, sizeof(char *)));
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

void word_scratch_free(void)
{
    free(scratch.str);
    scratch = {nullptr, 0};
}
