// prove_line.cpp - every line up to a size through the check of fuzz_line.
#include <string>

#include "checks.h"
#include "prove.h"

namespace {

uint64_t check(const std::vector<int> &seq, const prove_space &space)
{
    fuzz_line_check(prove_text(seq, space));
    return 1;
}

// The line analysis looks at a line sixteen bytes at a time, and at a line
// shorter than that in a copy: a short line alone never meets the edge of a
// block. After 8 to 15 blanks, which change nothing else, the edge falls
// after each of its first 8 bytes in turn.
uint64_t check_at_edge(const std::vector<int> &seq, const prove_space &space)
{
    std::string line = prove_text(seq, space);
    for (size_t blanks = 8; blanks < 16; blanks++)
        fuzz_line_check(std::string(blanks, ' ') + line);
    return 8;
}

// Every byte class but the NUL (prove.h).
const prove_space lines = {"line", "byte", {prove_bytes.begin(), prove_bytes.end() - 1},
                           "",     0,      check};

const prove_space at_edge = {"edge", "byte", lines.alphabet, "", 0, check_at_edge};

}  // namespace

int main(int argc, char **argv)
{
    return prove_main(argc, argv, {&lines, &at_edge});
}
