// out.cpp - the shell's own output, gathered in one block and written to
// descriptor 1 in whole lines.
#include "out.h"

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

#include "define.h"

out_block out_buf;

namespace {

// Writes `n` bytes at `text` to descriptor 1, all of them, unless a write
// has failed before or fails now. Descriptor 1 left non-blocking by
// whoever started us is waited on, as the input is.
void out_write(const char *text, size_t n)
{
    while (n > 0 && !out_buf.err) {
        ssize_t w = write(1, text, n);
        if (w >= 0) {
            text += w;
            n -= static_cast<size_t>(w);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd p = {1, POLLOUT, 0};
            if (poll(&p, 1, -1) == -1 && errno != EINTR)
                out_buf.err = errno;
        } else if (errno != EINTR) {
            out_buf.err = errno;
        }
    }
}

}  // namespace

void out_reset(int by_line)
{
    out_buf.len = out_buf.line_start = 0;
    out_buf.by_line = by_line;
    out_buf.err = 0;
}

int out_flush(void)
{
    out_write(out_buf.text, out_buf.len);
    out_buf.len = out_buf.line_start = 0;
    return out_buf.err;
}

int out_make_room(size_t n)
{
    // The whole lines go first; the line being gathered moves to the front.
    size_t part = out_buf.len - out_buf.line_start;
    out_write(out_buf.text, out_buf.line_start);
    memmove(out_buf.text, out_buf.text + out_buf.line_start, part);
    out_buf.len = part;
    out_buf.line_start = 0;
    // A line longer than the block is written in pieces.
    if (out_block_size - out_buf.len < n)
        out_flush();
    return out_block_size - out_buf.len >= n;
}

void out_line_end(void)
{
    out_buf.line_start = out_buf.len;
    if (out_buf.by_line)
        out_flush();
}

void out_put(const char *text, size_t n)
{
    if (out_block_size - out_buf.len < n && !out_make_room(n)) {
        out_write(text, n);  // more than the block holds: no copy
        return;
    }
    memcpy(out_buf.text + out_buf.len, text, n);
    out_buf.len += n;
}

void fatal(int status, const char *prefix, const char *text)
{
    if (text)
        fputs(text, stderr);
    else
        perror(prefix);
    out_flush();
    exit(status);
}
