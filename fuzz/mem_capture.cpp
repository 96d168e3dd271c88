// mem_capture.cpp - the output of the shell caught in memory (see
// mem_capture.h).
#include "mem_capture.h"

#include <cstdlib>
#include <unistd.h>

std::string mem_written;
bool mem_capturing = false;

namespace {

struct mem_file {
    FILE *f = nullptr;
    char *text = nullptr;
    size_t size = 0;
};

mem_file streams[2];

}  // namespace

FILE *mem_stream(int which)
{
    mem_file &m = streams[which];
    if (!m.f && !(m.f = open_memstream(&m.text, &m.size)))
        abort();
    if (fseek(m.f, 0, SEEK_SET) != 0)
        abort();
    return m.f;
}

std::string mem_stream_text(int which)
{
    mem_file &m = streams[which];
    if (fflush(m.f) != 0)
        abort();
    long n = ftell(m.f);
    if (n < 0)
        abort();
    return std::string(m.text, static_cast<size_t>(n));
}

extern "C" ssize_t __real_write(int fd, const void *buf, size_t n);

extern "C" ssize_t __wrap_write(int fd, const void *buf, size_t n)
{
    if (!mem_capturing || fd != 1)
        return __real_write(fd, buf, n);
    mem_written.append(static_cast<const char *>(buf), n);
    return static_cast<ssize_t>(n);
}
