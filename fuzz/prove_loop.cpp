// prove_loop.cpp - every input of `husk -s` up to a size, ended with and
// without a final newline, through the check of fuzz_loop.
#include <string>

#include "checks.h"
#include "prove.h"

namespace {

// Each input of the members, with a newline after it; and without, unless
// its last byte is a newline already (that input is the one with a newline
// of a shorter one). The shell reads it `piece` bytes at a time at most.
uint64_t check_read_by(const std::vector<int> &seq, const prove_space &space,
                       size_t piece)
{
    std::string in = prove_text(seq, space);
    bool bare = in.empty() || in.back() != '\n';
    if (bare)
        fuzz_loop_check(in, piece);
    fuzz_loop_check(in + "\n", piece);
    return bare ? 2 : 1;
}

// As from a file: each read takes all there is.
uint64_t check(const std::vector<int> &seq, const prove_space &space)
{
    return check_read_by(seq, space, 0);
}

// A script that short never meets the end of the reader's block; read one
// byte at a time, as from a pipe that is slow to fill, each of its bytes
// starts a block.
uint64_t check_in_pieces(const std::vector<int> &seq, const prove_space &space)
{
    return check_read_by(seq, space, 1);
}

// Every byte class, the NUL byte included (prove.h).
const prove_space inputs = {"loop", "byte", prove_bytes, "", 0, check};

const prove_space pieces = {"pieces", "byte", inputs.alphabet, "", 0, check_in_pieces};

}  // namespace

int main(int argc, char **argv)
{
    return prove_main(argc, argv, {&inputs, &pieces});
}
