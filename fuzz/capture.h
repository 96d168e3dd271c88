// capture.h - collects what the shell writes on one of its output streams.
// The stream is an ordinary FILE on a memory file, so the shell may treat
// it like any output stream, giving it a buffer of its own included.
#ifndef HUSK_FUZZ_CAPTURE_H
#define HUSK_FUZZ_CAPTURE_H

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

typedef struct def_sink {
    int fd;   // the memory file
    FILE *f;  // the stream the shell writes to
} sink;

inline sink sink_open(void)
{
    int fd = memfd_create("husk-sink", 0);
    FILE *f = fd == -1 ? nullptr : fdopen(fd, "w+");
    if (!f) {
        perror("sink_open");
        abort();
    }
    return {fd, f};
}

// Empties the sink for the next run.
inline void sink_reset(sink *s)
{
    if (fflush(s->f) != 0 || ftruncate(s->fd, 0) != 0 ||
        fseek(s->f, 0, SEEK_SET) != 0)
        abort();
    clearerr(s->f);
}

// Everything written since the last reset.
inline std::string sink_text(sink *s)
{
    struct stat st;
    if (fflush(s->f) != 0 || fstat(s->fd, &st) != 0)
        abort();
    std::string text(static_cast<size_t>(st.st_size), '\0');
    if (pread(s->fd, text.data(), text.size(), 0) != st.st_size)
        abort();
    return text;
}

#endif
