// prove_line.cpp - every line up to a size through the check of fuzz_line.
#include "checks.h"
#include "prove.h"

namespace {

uint64_t check(const std::vector<int> &seq, const prove_space &space)
{
    fuzz_line_check(prove_text(seq, space));
    return 1;
}

// One byte of each class the line analysis tells apart: blank and tab (the
// block classifier finds the blank by its value, the tab in the range of
// tab to carriage return), the newline, where the check of a line read in
// pieces goes on, a letter and a byte above 127 for all plain bytes, each
// operator character, both quotes and the backslash.
const prove_space lines = {
    "lines",
    "byte",
    {" ", "\t", "\n", "a", "\xff", ";", "&", "|", "<", ">", "'", "\"", "\\"},
    "",
    0,
    check};

}  // namespace

int main(int argc, char **argv)
{
    return prove_main(argc, argv, lines);
}
