// fuzz_loop.cpp - the whole cycle of `husk -s` (read, check, print) over
// arbitrary input: NUL bytes, CR, continuations, unfinished lines at the end.
// It must end and never crash, read all of its input, print only token
// lines, write no message but the syntax messages, and report each input
// line that holds a NUL byte once; the sanitizers and the fuzzer's leak
// check see the rest.
//
// The input reaches the shell exactly as a script does: descriptor 0 is a
// memory file holding the bytes. Each run rewrites the file and rewinds the
// descriptor. husk_main starts every run from a clean state (it resets the
// option, the reader and the writer itself), so no run sees anything of the
// one before. What it writes is captured in memory files (tests/capture.h);
// descriptor 2 stays as it is for the sanitizers' reports.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "capture.h"

int husk_main(int argc, char **argv);

namespace {

[[noreturn]] void fail(const char *what)
{
    fprintf(stderr, "fuzz_loop: %s\n", what);
    abort();
}

int input_fd = -1;

// Every line of `text` passes `ok`.
template <typename F> bool all_lines(const std::string &text, F ok)
{
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos || !ok(text.substr(at, nl - at)))
            return false;
        at = nl + 1;
    }
    return true;
}

bool is_token_line(const std::string &l)
{
    return l.size() >= 2 && l.front() == '[' && l.back() == ']';
}

const std::string nul_message = "Error: line holds a NUL byte; skipped.";

bool is_message(const std::string &l)
{
    static const char *const ops[] = {";", "&", "|", "||", "&&", "<", ">", "<<", ">>"};
    for (const char *op : ops)
        if (l == std::string("Error: '") + op + "' is unexpected.")
            return true;
    return l == "Error: unexpected end of input." || l == nul_message;
}

// The number of lines of `text` (the last one maybe without a newline)
// that hold a NUL byte.
size_t nul_lines(const std::string &text)
{
    size_t n = 0;
    for (size_t at = 0; at < text.size();) {
        size_t nl = std::min(text.find('\n', at), text.size());
        n += text.find('\0', at) < nl;
        at = nl + 1;
    }
    return n;
}

// The number of times `text` holds `what`.
size_t count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos;
         at += what.size())
        n++;
    return n;
}

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (input_fd == -1) {
        input_fd = memfd_create("husk-input", 0);
        if (input_fd == -1 || dup2(input_fd, 0) == -1)
            fail("input file");
    }
    std::string in = stream_text(data, size);
    if (ftruncate(input_fd, 0) == -1 ||
        pwrite(input_fd, in.data(), in.size(), 0) != static_cast<ssize_t>(in.size()))
        fail("writing the input");
    if (lseek(0, 0, SEEK_SET) == -1)
        fail("rewinding the input");
    char name[] = "husk", opt[] = "-s";
    char *argv[] = {name, opt, nullptr};
    int status = -1;
    std::string e, o = husk_test::capture(1, [&] {
                       e = husk_test::capture(2, [&] { status = husk_main(2, argv); });
                   });
    off_t pos = lseek(0, 0, SEEK_CUR);
    if (status != 0 || pos != static_cast<off_t>(in.size()))
        fail("ended early or with a failure");
    if (!all_lines(o, is_token_line) || !all_lines(e, is_message))
        fail("unexpected output");
    if (count(e, nul_message) != nul_lines(in))
        fail("a line with a NUL byte not reported exactly once");
    size_t eoi = e.find("Error: unexpected end of input.\n");
    if (eoi != std::string::npos && eoi + 32 != e.size())
        fail("output after the end of input");
    return 0;
}
