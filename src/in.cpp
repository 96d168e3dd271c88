// in.cpp - the shell's own input, read from descriptor 0 in blocks.
#include "in.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

in_block in_buf;

void in_reset(void)
{
    in_buf.pos = in_buf.end = 0;
    in_buf.eof = 0;
    in_buf.tty = isatty(0);
}

// The shell sets no signal handler, so no signal interrupts a read or a
// poll that it lives through; EINTR is retried all the same, as the system
// allows it.
size_t in_fill(void)
{
    while (!in_buf.eof) {
        ssize_t n = read(0, in_buf.text, sizeof in_buf.text);
        if (n >= 0) {
            in_buf.pos = 0;
            in_buf.end = static_cast<size_t>(n);
            in_buf.eof = n == 0;
            return in_buf.end;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd p = {0, POLLIN, 0};
            if (poll(&p, 1, -1) == -1 && errno != EINTR)
                fatal(1, "husk: read error");
        } else if (errno != EINTR) {
            fatal(1, "husk: read error");
        }
    }
    return 0;
}
