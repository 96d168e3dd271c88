// in.h - the shell's own input on descriptor 0: command lines read in
// blocks, handed out a line at a time. The mirror of the writer (out.h).
//
// - This module owns one block of in_block_size bytes. From a file or a
//   pipe one read takes whatever is there, up to the block's size, so a
//   program started from a script that reads descriptor 0 itself goes on
//   after what the shell has taken in by then (the rest of a short script,
//   or up to 64 KiB beyond the line), not at the next line. At a terminal
//   one read gives one line, so such a program reads what is typed next.
// - A read error ends the shell: input that cannot be read must not pass
//   for the end of a script. Descriptor 0 left non-blocking by whoever
//   started us is waited on rather than taken for the end.
// - The text read goes onto the end of a buffer that the caller owns, with
//   its capacity and the length of its text: this module keeps nothing of
//   it.
#ifndef HUSK_IN_H
#define HUSK_IN_H

#include <cstring>

#include "define.h"

// A command line, continuation lines included, holds at most this many
// characters, so that positions and sizes fit a 32-bit int.
constexpr long line_max = (1L << 30) - 1;

constexpr size_t in_block_size = 1 << 16;

typedef struct def_in_block {
    char text[in_block_size];
    size_t pos;  // the next byte to hand out
    size_t end;  // the end of what the last read gave
    int eof;     // a read answered 0: the input has ended
    int tty;     // descriptor 0 is a terminal; it cannot change while we run
} in_block;

extern in_block in_buf;

// Forgets everything read, and notes whether descriptor 0 is a terminal.
void in_reset(void);

// Refills the block. Answers the number of bytes read, 0 at the end of
// input. Used by in_line_read.
size_t in_fill(void);

// Why in_line_read drops the input line it read, with everything gathered
// for the command line so far.
typedef enum def_line_drop {
    drop_none = 0,
    drop_long = 1,  // the command line would exceed line_max
    drop_nul = 2,   // the line holds a NUL byte, which no later stage sees
} line_drop;

// Copies the rest of the input line onto the end of `*buff` (capacity
// `*size`, text `*len` long), growing it by doubling; the text is not
// terminated. Sets `*newline` when a newline ended the line, and leaves it
// 0 at the end of input. A line that cannot be kept is read to its end
// all the same, and the answer says why it is dropped. Inlined in its
// callers: as a call, the -s run of bench/compare-parse.sh takes 3 % more
// instructions.
[[gnu::always_inline]] inline line_drop in_line_read(char **buff, long *size, long *len,
                                                     int *newline)
{
    line_drop drop = drop_none;
    *newline = 0;
    while (!*newline && (in_buf.pos < in_buf.end || in_fill() > 0)) {
        const char *text = in_buf.text + in_buf.pos;
        size_t n = in_buf.end - in_buf.pos;
        const char *nl = static_cast<const char *>(memchr(text, '\n', n));
        if (nl) {
            n = static_cast<size_t>(nl - text);
            *newline = 1;
        }
        in_buf.pos += n + static_cast<size_t>(*newline);
        if (drop == drop_none && memchr(text, '\0', n))
            drop = drop_nul;
        else if (drop == drop_none && *len + static_cast<long>(n) > line_max)
            drop = drop_long;
        if (drop != drop_none)
            continue;
        if (*len + static_cast<long>(n) > *size - 1) {
            while (*len + static_cast<long>(n) > *size - 1)
                *size *= 2;
            *buff = static_cast<char *>(mem_realloc(*buff, static_cast<size_t>(*size)));
        }
        memcpy(*buff + *len, text, n);
        *len += static_cast<long>(n);
    }
    return drop;
}

#endif
