// checks.h - the check of each fuzz target on one input. The libFuzzer
// entries call them, and so do the exhaustive runs (fuzz/prove.cpp), so
// that both hold the shell to the very same properties and models. A
// broken property stops the process through fuzz_broken (broken.h).
#ifndef HUSK_FUZZ_CHECKS_H
#define HUSK_FUZZ_CHECKS_H

#include <string>

// fuzz_line: the line analysis of `line`, which holds no NUL byte (the
// reader drops such lines before any check).
void fuzz_line_check(const std::string &line);

// fuzz_loop: a whole run of `husk -s` with `in` as its standard input,
// each read of which gives at most `piece` bytes (0: as many as asked and
// left, as a file does).
void fuzz_loop_check(const std::string &in, size_t piece = 0);

// fuzz_exec: the list runner on the line of `input`, with the statuses
// after it (fuzz_exec.cpp). Answers -1 when the line was not run (only
// accepted lines that cannot end the shell are), else how many launches it
// makes at most: one for each command whose first word is not `cd`.
int fuzz_exec_check(const std::string &input);

#endif
