// prove_exec.cpp - every command line of 1 up to a number of tokens, with
// every pattern of exit statuses its launches can report, through the
// check of fuzz_exec.
#include <string>

#include "checks.h"
#include "prove.h"

namespace {

// What a waited command can report: success, a failure, an end by a signal.
constexpr int statuses[] = {0, 1, -1};

bool is_op(const std::string &t)
{
    return t[0] == ';' || t[0] == '&' || t[0] == '|' || t[0] == '<' || t[0] == '>';
}

// At most how many launches the line makes: one for each command whose
// first word is not `cd`.
size_t launches_at_most(const std::vector<int> &seq, const prove_space &space)
{
    size_t n = 0;
    bool start = true, after_redir = false;
    for (int m : seq) {
        const std::string &t = space.alphabet[size_t(m)];
        bool op = is_op(t);
        if (!op && start && !after_redir) {
            n += t != "cd";
            start = false;
        } else if (op && t[0] != '<' && t[0] != '>') {
            start = true;
        }
        after_redir = op && (t[0] == '<' || t[0] == '>');
    }
    return n;
}

// The line of the tokens, once for each pattern of statuses; none more once
// the first shows that fuzz_exec does not run the line.
uint64_t check(const std::vector<int> &seq, const prove_space &space)
{
    std::string line = prove_text(seq, space);
    std::vector<int> digit(launches_at_most(seq, space), 0), status(digit.size());
    for (uint64_t runs = 0;; runs++) {
        for (size_t i = 0; i < digit.size(); i++)
            status[i] = statuses[digit[i]];
        if (!fuzz_exec_check(line, status))
            return runs;
        size_t i = digit.size();
        while (i > 0 && digit[i - 1] == 2)
            digit[--i] = 0;
        if (i == 0)
            return runs + 1;
        digit[i - 1]++;
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
