// prove.h - the exhaustive runs: every input made of 0 (or 1) up to a bound
// of members of an alphabet, size after size, through the check of one
// fuzz target (checks.h). Where the fuzzer samples, these leave no input
// out up to the bound. A run prints, for each size and in all, the inputs
// checked and the time, and stops at the first size where a check breaks,
// after the check's own report of the property and the input.
//
//   prove_<target> [-k kind] [-j workers] bound
//
// A target may enumerate more than one kind of input, chosen by name (the
// first by default).
// The inputs of a size are shared out among the workers (default: one per
// processor), each a child process; the next size starts when all of them
// are done, so a run that stops names the smallest size with a difference.
#ifndef HUSK_FUZZ_PROVE_H
#define HUSK_FUZZ_PROVE_H

#include <cstdint>
#include <string>
#include <vector>

struct prove_space {
    const char *what;                   // its name, in -k and the figures
    const char *member;                 // what a member is: "byte", "token"
    std::vector<std::string> alphabet;  // the members
    const char *sep;                    // what stands between two members
    int first;                          // the smallest size enumerated
    // Checks every input that the members `seq` (indexes into `alphabet`)
    // stand for, and answers how many runs of the target's check it made.
    uint64_t (*check)(const std::vector<int> &seq, const prove_space &space);
};

// One byte of each class the line analysis tells apart: blank and tab (the
// block classifier finds the blank by its value, the tab in the range of
// tab to carriage return), the newline, where the check of a line read in
// pieces goes on, a letter and a byte above 127 for all plain bytes, each
// operator character, both quotes and the backslash; last the NUL byte,
// which the reader drops with its line, so that no line holds one.
inline const std::vector<std::string> prove_bytes = {
    " ", "\t", "\n", "a", "\xff", ";", "&", "|", "<", ">", "'", "\"", "\\", {'\0'}};

// The text of the members `seq`, each followed by `space.sep` but the last.
std::string prove_text(const std::vector<int> &seq, const prove_space &space);

// The program: reads the options above, runs, and answers the exit status
// (0: no difference up to the bound).
int prove_main(int argc, char **argv, const std::vector<const prove_space *> &spaces);

#endif
