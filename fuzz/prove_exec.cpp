// prove_exec.cpp - every command line of 1 up to a number of tokens, with
// every pattern of exit statuses its launches can report, through the
// check of fuzz_exec.
#include <string>

#include "checks.h"
#include "prove.h"

namespace {

// The line of the tokens, with every pattern of what its waited launches
// report, each one of: success, a failure, an end by a signal (fuzz_exec's
// input bytes 0, 1 and 255). The first run, without statuses (all
// success), tells whether fuzz_exec runs the line, and how many launches
// the patterns need.
uint64_t check(const std::vector<int> &seq, const prove_space &space)
{
    std::string line = prove_text(seq, space);
    int most = fuzz_exec_check(line);
    if (most < 0)
        return 0;
    std::vector<int> digit(size_t(most), 0);
    for (uint64_t runs = 1;; runs++) {
        size_t i = digit.size();
        while (i > 0 && digit[i - 1] == 2)
            digit[--i] = 0;
        if (i == 0)
            return runs;
        digit[i - 1]++;
        std::string input = line + '\0';
        for (int d : digit)
            input += "\0\1\xff"[d];
        fuzz_exec_check(input);
    }
}

// A program (its status comes from the pattern), `cd`, a file that exists
// and one that does not (also as words), and every operator but `<<`,
// which ends the shell and which fuzz_exec therefore never runs.
const prove_space lines = {
    "exec", "token", {"p", "cd", "a", "x", ";", "&", "|", "||", "&&", "<", ">", ">>"},
    " ",    1,       check};

}  // namespace

int main(int argc, char **argv)
{
    return prove_main(argc, argv, {&lines});
}
