// fuzz_loop.cpp - the whole cycle of `husk -s` (read, check, print) over
// arbitrary input: NUL bytes, CR, continuations, unfinished lines at the end.
// It must end and never crash, read all of its input, and write exactly
// what the model of the loop (ref_listing, tests/model.h) says, on standard
// output and on standard error; the sanitizers and the fuzzer's leak check
// see the rest.
//
// The input reaches the shell as a script in a file does, from memory: the
// target is linked with --wrap=read and --wrap=isatty, and while the shell
// runs, each read of descriptor 0 takes the next bytes of the input, as
// many as asked for and as are left (0 at the end; an exhaustive run also
// gives them one at a time), and neither descriptor 0 nor 1 is a terminal.
// husk_main starts every run from a clean state (it resets the option, the
// reader and the writer itself), so no run sees anything of the one
// before. What it writes is caught in memory
// (mem_capture.h); descriptor 2 stays as it is for the sanitizers' reports.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "broken.h"
#include "checks.h"
#include "mem_capture.h"
#include "model.h"

int husk_main(int argc, char **argv);

namespace {

// The input of the run in progress, how much of it the shell has read, and
// the most one read gives (0: no limit); null between runs.
const std::string *input;
size_t input_read, input_piece;

// The shell reads its input in blocks of 64 KiB, far more than a fuzz
// input. An input that starts with a byte of 0xf8 or more is therefore
// moved to just before the end of the first block, so that its lines and
// words cross a refill: the second byte says how many bytes before the
// boundary it starts, and the low bits of the first choose what fills the
// stream up to there.
std::string stream_text(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);
    if (size < 2 || data[0] < 0xf8)
        return std::string(text, size);
    std::string s(65536 - data[1], "x \n'\"\\|;"[data[0] & 7]);
    return s.append(text + 2, size - 2);
}

}  // namespace

extern "C" ssize_t __real_read(int fd, void *buf, size_t n);

extern "C" ssize_t __wrap_read(int fd, void *buf, size_t n)
{
    if (!input || fd != 0)
        return __real_read(fd, buf, n);
    n = std::min(n, input->size() - input_read);
    if (input_piece)
        n = std::min(n, input_piece);
    memcpy(buf, input->data() + input_read, n);
    input_read += n;
    return static_cast<ssize_t>(n);
}

extern "C" int __real_isatty(int fd);

extern "C" int __wrap_isatty(int fd)
{
    return input && (fd == 0 || fd == 1) ? 0 : __real_isatty(fd);
}

void fuzz_loop_check(const std::string &in, size_t piece)
{
    char name[] = "husk", opt[] = "-s";
    char *argv[] = {name, opt, nullptr};
    int status = -1;
    input = &in;
    input_read = 0;
    input_piece = piece;
    std::string e, o = mem_capture_out([&] {
                       e = mem_capture_err([&] { status = husk_main(2, argv); });
                   });
    input = nullptr;
    if (status != 0 || input_read != in.size())
        fuzz_broken("fuzz_loop", "ended early or with a failure", in);
    husk_test::listing want = husk_test::ref_listing(in);
    if (o != want.out)
        fuzz_broken("fuzz_loop", "standard output differs from the model", in);
    if (e != want.err)
        fuzz_broken("fuzz_loop", "standard error differs from the model", in);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_loop_check(stream_text(data, size));
    return 0;
}
