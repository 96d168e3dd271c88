// prove_loop.cpp - every input of `husk -s` up to a size, ended with and
// without a final newline, through the check of fuzz_loop.
#include <string>

#include "checks.h"
#include "prove.h"

namespace {

// The input of the members, with a newline after it; and without, unless
// its last byte is a newline already (that input is the one with a newline
// of a shorter one).
uint64_t check(const std::vector<int> &seq, const prove_space &space)
{
    std::string in = prove_text(seq, space);
    bool bare = in.empty() || in.back() != '\n';
    if (bare)
        fuzz_loop_check(in);
    fuzz_loop_check(in + "\n");
    return bare ? 2 : 1;
}

// The members of the lines (prove_line.cpp), newline included, and the NUL
// byte, which has its line dropped.
const prove_space inputs = {"loop",
                            "byte",
                            {" ", "\t", "\n", "a", "\xff", ";", "&", "|", "<", ">", "'",
                             "\"", "\\", std::string(1, '\0')},
                            "",
                            0,
                            check};

}  // namespace

int main(int argc, char **argv)
{
    return prove_main(argc, argv, inputs);
}
