// capture.h - collects what the shell writes while a function runs, for the
// unit tests and the benchmarks (the fuzz targets catch it in memory:
// fuzz/mem_capture.h).
//
// Standard output is caught at descriptor 1, the shell's own writer written
// out first and last, so it holds everything: the writer's blocks, the C
// stream and plain write(2). Standard error is caught at the C stream
// `stderr`, which every message of the shell goes through; descriptor 2
// stays as it is, so that a sanitizer's report, written there directly,
// still reaches the terminal.
#ifndef HUSK_TEST_CAPTURE_H
#define HUSK_TEST_CAPTURE_H

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "out.h"

namespace husk_test {

// Runs `fn` with descriptor 1 on `target`, another open descriptor.
template <typename F> void with_stdout_on(int target, F fn)
{
    fflush(stdout);
    out_flush();
    int saved = dup(1);
    if (saved == -1 || dup2(target, 1) == -1)
        abort();
    fn();
    fflush(stdout);
    out_flush();
    if (dup2(saved, 1) == -1)
        abort();
    close(saved);
}

// A memory file for captured text, one per stream, made once and emptied
// for each use, as the tests capture often.
inline int capture_file(int which)
{
    static int fds[3] = {-1, -1, -1};
    if (fds[which] == -1 && (fds[which] = memfd_create("capture", MFD_CLOEXEC)) == -1)
        abort();
    if (ftruncate(fds[which], 0) != 0 || lseek(fds[which], 0, SEEK_SET) != 0)
        abort();
    return fds[which];
}

inline std::string capture_text(int mem)
{
    struct stat st;
    if (fstat(mem, &st) != 0)
        abort();
    std::string text(static_cast<size_t>(st.st_size), '\0');
    if (pread(mem, text.data(), text.size(), 0) != st.st_size)
        abort();
    return text;
}

// Everything `fn` writes on standard output (`fd` 1) or standard error
// (`fd` 2), as above.
template <typename F> std::string capture(int fd, F fn)
{
    int mem = capture_file(fd);
    if (fd == 1) {
        with_stdout_on(mem, fn);
        return capture_text(mem);
    }
    static FILE *err = fdopen(dup(mem), "w");
    if (!err || fseek(err, 0, SEEK_SET) != 0)
        abort();
    FILE *saved = stderr;
    stderr = err;
    fn();
    fflush(err);
    stderr = saved;
    return capture_text(mem);
}

}  // namespace husk_test

#endif
