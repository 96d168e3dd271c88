// out.h - the shell's own output on descriptor 1: the prompt, the token
// listing of -s and the process id lines. The mirror of the input reader.
//
// - This module owns one block of out_block_size bytes. Text put here is
//   gathered in it and written with write(2), partial writes and
//   interruptions handled, when a line would not fit, so that one write
//   ends between two lines (only a line longer than the block is written in
//   pieces); and whenever out_flush is called: before the shell reads a
//   terminal, at the end of the run and on the way to a fatal end.
// - A line is text up to and including a newline. When descriptor 1 is a
//   terminal (out_reset tells), every line is written as soon as it ends.
// - The first write that fails is recorded, and from then on nothing more
//   is written; out_error answers its errno. The caller decides what a
//   failure means: the listing stops at it, a run reports it at the end.
// - Messages on standard error do not go through here.
#ifndef HUSK_OUT_H
#define HUSK_OUT_H

#include <cstddef>
#include <cstring>

constexpr size_t out_block_size = 1 << 16;

typedef struct def_out_block {
    char text[out_block_size];
    size_t len;         // bytes gathered, not yet written
    size_t line_start;  // where the line being gathered starts
    int by_line;        // write every line as soon as it ends
    int err;            // errno of the first failed write, or 0
} out_block;

extern out_block out_buf;

// Empties the block and forgets an earlier failure; `by_line` as above.
void out_reset(int by_line);

// Writes out everything gathered. Answers out_error().
int out_flush(void);

// errno of the first write that failed, or 0.
inline int out_error(void)
{
    return out_buf.err;
}

// Makes room for `n` more bytes; gives 0 when even an empty block has not
// that much room. Used by out_put; callers use out_room.
int out_make_room(size_t n);

// Room for `n` bytes at the end of the block, for text that ends no line:
// write at most `n` bytes there and count them with out_used. Null when `n`
// is more than the block holds; use out_put then.
inline char *out_room(size_t n)
{
    if (out_block_size - out_buf.len < n && !out_make_room(n))
        return nullptr;
    return out_buf.text + out_buf.len;
}

inline void out_used(size_t n)
{
    out_buf.len += n;
}

// Ends the line being gathered: it may now be written on its own.
void out_line_end(void);

// Adds `n` bytes of text that ends no line.
void out_put(const char *text, size_t n);

// Adds a whole line, `n` bytes ending with its newline.
inline void out_line(const char *text, size_t n)
{
    out_put(text, n);
    out_line_end();
}

#endif
