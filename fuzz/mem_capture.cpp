// mem_capture.cpp - the output of the shell caught in memory (see
// mem_capture.h).
#include "mem_capture.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "out.h"

namespace {

// Written to descriptor 1 while `capturing` is set.
std::string written;
bool capturing = false;

// A memory stream for each C stream, made once and emptied for each use.
struct mem_file {
    FILE *f = nullptr;
    char *text = nullptr;
    size_t size = 0;
};

mem_file streams[2];

// Puts the memory stream `which` (0 for stdout, 1 for stderr) in place of
// the C stream `*c` while `fn` runs, and gives what was written on it.
std::string on_memory(int which, FILE **c, const std::function<void()> &fn)
{
    mem_file &m = streams[which];
    if ((!m.f && !(m.f = open_memstream(&m.text, &m.size))) ||
        fseek(m.f, 0, SEEK_SET) != 0)
        abort();
    FILE *saved = *c;
    *c = m.f;
    fn();
    *c = saved;
    long n = fflush(m.f) == 0 ? ftell(m.f) : -1;
    if (n < 0)
        abort();
    return std::string(m.text, static_cast<size_t>(n));
}

}  // namespace

std::string mem_capture_out(const std::function<void()> &fn)
{
    out_flush();  // what came before is not part of it
    written.clear();
    capturing = true;
    std::string text = on_memory(0, &stdout, [&] {
        fn();
        out_flush();
    });
    capturing = false;
    return written + text;
}

std::string mem_capture_err(const std::function<void()> &fn)
{
    return on_memory(1, &stderr, fn);
}

extern "C" ssize_t __real_write(int fd, const void *buf, size_t n);

extern "C" ssize_t __wrap_write(int fd, const void *buf, size_t n)
{
    if (!capturing || fd != 1)
        return __real_write(fd, buf, n);
    written.append(static_cast<const char *>(buf), n);
    return static_cast<ssize_t>(n);
}
