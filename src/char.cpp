// char.cpp - the character vocabulary of the command language.
#include "char.h"

#ifdef __SSE2__
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
    return token[0] != ';' && is_char_from_delim(token[0]) &&
           token[1] == token[0];
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

#ifdef __SSE2__
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
[[gnu::always_inline]] inline __m128i block_match(__m128i v, const byte_runs &r)
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

// Bit i of each answer is set when byte i of the sixteen at `p` is of the
// class: `stop` for the classes named by `stop`, `plain` for no class.
// Inlined, so that the classes not asked for cost nothing.
[[gnu::always_inline]] inline void char_span_block(const char *p, unsigned char stop, unsigned *stop_bits,
                     unsigned *plain_bits)
{
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    __m128i space = block_match(v, space_runs);
    __m128i delim = block_match(v, delim_runs);
    __m128i special = block_match(v, special_runs);
    __m128i nul = _mm_cmpeq_epi8(v, _mm_setzero_si128());
    __m128i hit = _mm_setzero_si128();
    if (stop & cc_space)
        hit = _mm_or_si128(hit, space);
    if (stop & cc_delim)
        hit = _mm_or_si128(hit, delim);
    if (stop & cc_special)
        hit = _mm_or_si128(hit, special);
    if (stop & cc_nul)
        hit = _mm_or_si128(hit, nul);
    *stop_bits = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (plain_bits) {
        __m128i any = _mm_or_si128(_mm_or_si128(space, delim), _mm_or_si128(special, nul));
        *plain_bits = static_cast<unsigned>(_mm_movemask_epi8(any)) ^ 0xffffu;
    }
}

// The answer of char_span for a block whose first hit is the lowest bit of
// `stop_bits` (not 0), with `plain_bits` for the bytes from p on.
[[gnu::always_inline]] inline const char *char_span_hit(const char *p, unsigned stop_bits,
                          unsigned plain_bits, int *has_plain)
{
    if (has_plain && (plain_bits & ((stop_bits & -stop_bits) - 1)))
        *has_plain = 1;
    return p + __builtin_ctz(stop_bits);
}
#endif

}  // namespace

const char *char_span(const char *begin, const char *p, const char *end,
                      unsigned char stop, int *has_plain)
{
#ifdef __SSE2__
    unsigned stop_bits, plain_bits = 0;
    while (end - p >= 16) {
        char_span_block(p, stop, &stop_bits, has_plain ? &plain_bits : nullptr);
        if (stop_bits)
            return char_span_hit(p, stop_bits, plain_bits, has_plain);
        if (has_plain && plain_bits)
            *has_plain = 1;
        p += 16;
    }
    if (p < end && end - begin >= 16) {
        // Less than a block is left: take the block that ends at `end`, all
        // of it inside the text, and drop the bits of the bytes before p.
        unsigned skip = static_cast<unsigned>(p - (end - 16));
        char_span_block(end - 16, stop, &stop_bits, has_plain ? &plain_bits : nullptr);
        stop_bits >>= skip;
        plain_bits >>= skip;
        if (stop_bits)
            return char_span_hit(p, stop_bits, plain_bits, has_plain);
        if (has_plain && plain_bits)
            *has_plain = 1;
        return end;
    }
#endif
    for (; p < end; p++) {
        unsigned char k = char_class(*p);
        if (k & stop)
            break;
        if (has_plain && k == 0)
            *has_plain = 1;
    }
    return p;
}
