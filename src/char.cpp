// char.cpp - the character vocabulary of the command language.
#include "char.h"

// The block classifier takes sixteen bytes at once with SSE2 where the
// target has it, else one byte at a time. A build with HUSK_NO_SSE2 (the
// HUSK_SSE2 switch off) takes the second way on any target, so that it is
// built, tested and measured on x86-64 too.
#if defined(__SSE2__) && !defined(HUSK_NO_SSE2)
#define HUSK_BLOCK_SSE2
#include <emmintrin.h>
#endif

int is_char_from_delim(char c)
{
    return (char_class(c) & cc_delim) != 0;
}

int is_char_special(char c)
{
    return (char_class(c) & cc_special) != 0;
}

int is_quote(char c)
{
    return is_char_special(c) && c != '\\';
}

int is_space(char c)
{
    return (char_class(c) & cc_space) != 0;
}

int is_delim(const char *token, int char_cnt)
{
    if (!token || char_cnt < 1 || char_cnt > 2)
        return 0;
    if (char_cnt == 1)
        return is_char_from_delim(token[0]);
    return token[0] != ';' && is_char_from_delim(token[0]) && token[1] == token[0];
}

int is_leftside_delim(const char *token, int char_cnt, delim *dl)
{
    if (!token || char_cnt > 1)
        return 0;
    delim kind = delim_err;
    if (token[0] == ';')
        kind = delim_semi;
    else if (token[0] == '&')
        kind = delim_ampersand;
    if (dl)
        *dl = kind;
    return kind != delim_err;
}

int is_rightside_delim(const char *token, int char_cnt, delim *dl)
{
    if (!token || char_cnt < 1 || char_cnt > 2)
        return 0;
    delim kind = delim_err;
    if (char_cnt == 1 || token[1] == token[0]) {
        if (token[0] == '<')
            kind = char_cnt == 1 ? delim_redir_in : delim_redir_in2;
        else if (token[0] == '>')
            kind = char_cnt == 1 ? delim_redir_out : delim_redir_out2;
    }
    if (dl)
        *dl = kind;
    return kind != delim_err;
}

int is_bothside_delim(const char *token, int char_cnt, delim *dl)
{
    if (!token || char_cnt < 1 || char_cnt > 2)
        return 0;
    delim kind = delim_err;
    if (char_cnt == 1) {
        if (token[0] == '|')
            kind = delim_pipe;
    } else if (token[1] == token[0]) {
        if (token[0] == '|')
            kind = delim_logical_or;
        else if (token[0] == '&')
            kind = delim_logical_and;
    }
    if (dl)
        *dl = kind;
    return kind != delim_err;
}

int is_word_delim(const char *token, int char_cnt, delim *dl)
{
    return is_rightside_delim(token, char_cnt, dl);
}

int is_cmd_delim(const char *token, int char_cnt, delim *dl)
{
    return is_leftside_delim(token, char_cnt, dl) ||
           is_bothside_delim(token, char_cnt, dl);
}

namespace {

#ifdef HUSK_BLOCK_SSE2
// A class as runs of consecutive byte values, read off the class table, so
// that the block scanner makes one comparison per run rather than one per
// byte (tab to carriage return is a single run).
typedef struct def_byte_runs {
    unsigned char lo[8], hi[8];  // the first and last byte of each run
    int cnt;
} byte_runs;

constexpr byte_runs byte_runs_of(unsigned char cls)
{
    byte_runs r{};
    for (int c = 0; c < 256; c++) {
        if (!(char_classes.cls[c] & cls))
            continue;
        if (r.cnt > 0 && r.hi[r.cnt - 1] + 1 == c) {
            r.hi[r.cnt - 1] = static_cast<unsigned char>(c);
        } else {
            r.lo[r.cnt] = r.hi[r.cnt] = static_cast<unsigned char>(c);
            r.cnt++;
        }
    }
    return r;
}

constexpr byte_runs space_runs = byte_runs_of(cc_space);
constexpr byte_runs delim_runs = byte_runs_of(cc_delim);
constexpr byte_runs special_runs = byte_runs_of(cc_special);

// The bytes of `v` that lie in one of the runs, as 0xff in their lane.
inline __m128i block_match(__m128i v, const byte_runs &r)
{
    __m128i hit = _mm_setzero_si128();
    for (int i = 0; i < r.cnt; i++) {
        __m128i lo = _mm_set1_epi8(static_cast<char>(r.lo[i]));
        if (r.lo[i] == r.hi[i]) {
            hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, lo));
            continue;
        }
        // Taken as unsigned, v - lo is at most hi - lo just inside the run.
        __m128i off = _mm_sub_epi8(v, lo);
        __m128i width = _mm_set1_epi8(static_cast<char>(r.hi[i] - r.lo[i]));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_min_epu8(off, width), off));
    }
    return hit;
}

#endif

}  // namespace

#ifdef HUSK_BLOCK_SSE2
void char_block(const char *p, unsigned *spaces, unsigned *stops)
{
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    __m128i stop = _mm_or_si128(
        _mm_or_si128(block_match(v, delim_runs), block_match(v, special_runs)),
        _mm_cmpeq_epi8(v, _mm_setzero_si128()));
    *spaces = static_cast<unsigned>(_mm_movemask_epi8(block_match(v, space_runs)));
    *stops = static_cast<unsigned>(_mm_movemask_epi8(stop));
}
#else
void char_block(const char *p, unsigned *spaces, unsigned *stops)
{
    *spaces = *stops = 0;
    for (int i = 0; i < 16; i++) {
        unsigned char k = char_class(p[i]);
        *spaces |= ((k & cc_space) ? 1U : 0U) << i;
        *stops |= ((k & (cc_delim | cc_special | cc_nul)) ? 1U : 0U) << i;
    }
}
#endif

void char_look_tail(char_look *lk)
{
    if (lk->end + 1 - lk->line >= 16) {
        lk->base = lk->end + 1 - 16;
        char_block(lk->base, &lk->spaces, &lk->stops);
        return;
    }
    char pad[16] = {};
    memcpy(pad, lk->line, static_cast<size_t>(lk->end - lk->line));
    lk->base = lk->line;
    char_block(pad, &lk->spaces, &lk->stops);
}
