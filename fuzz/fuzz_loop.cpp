// fuzz_loop.cpp - the whole cycle of `husk -s` (read, check, print) over
// arbitrary input: NUL bytes, CR, continuations, unfinished lines at the end.
// It must end and never crash, read all of its input, and write exactly
// what the model of the loop (ref_listing, tests/model.h) says, on standard
// output and on standard error; the sanitizers and the fuzzer's leak check
// see the rest.
//
// The input reaches the shell exactly as a script does: descriptor 0 is a
// memory file holding the bytes. Each run rewrites the file and rewinds the
// descriptor. husk_main starts every run from a clean state (it resets the
// option, the reader and the writer itself), so no run sees anything of the
// one before. What it writes is captured in memory files (tests/capture.h);
// descriptor 2 stays as it is for the sanitizers' reports.
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "broken.h"
#include "capture.h"
#include "checks.h"
#include "model.h"

int husk_main(int argc, char **argv);

namespace {

int input_fd = -1;

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

void fuzz_loop_check(const std::string &in)
{
    if (input_fd == -1) {
        input_fd = memfd_create("husk-input", 0);
        if (input_fd == -1 || dup2(input_fd, 0) == -1)
            fuzz_broken("fuzz_loop", "making the input file", in);
    }
    if (ftruncate(input_fd, 0) == -1 ||
        pwrite(input_fd, in.data(), in.size(), 0) != static_cast<ssize_t>(in.size()) ||
        lseek(0, 0, SEEK_SET) == -1)
        fuzz_broken("fuzz_loop", "writing the input", in);
    char name[] = "husk", opt[] = "-s";
    char *argv[] = {name, opt, nullptr};
    int status = -1;
    std::string e, o = husk_test::capture(1, [&] {
                       e = husk_test::capture(2, [&] { status = husk_main(2, argv); });
                   });
    off_t pos = lseek(0, 0, SEEK_CUR);
    if (status != 0 || pos != static_cast<off_t>(in.size()))
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
