// define.h - definitions every module shares: the delimiter kinds, the one
// way the shell ends on a failure it cannot go on from, and the checked
// allocation helpers.
#ifndef HUSK_DEFINE_H
#define HUSK_DEFINE_H

#include <cstdlib>

// The kind of an operator token. The values are part of the design: other
// modules and the tests depend on them.
typedef enum def_delim {
    delim_err = 0,          // no delimiter kind
    delim_semi = 1,         // ;
    delim_pipe = 2,         // |
    delim_ampersand = 3,    // &
    delim_logical_or = 4,   // ||
    delim_logical_and = 5,  // &&
    delim_redir_in = 6,     // <
    delim_redir_out = 7,    // >
    delim_redir_in2 = 8,    // <<
    delim_redir_out2 = 9,   // >>
} delim;

// Ends the shell with `status` after a message on standard error: `text`
// when it is given, else what perror(prefix) writes (the prefix, ": " and
// the system's text for errno). Every fatal end goes through here, so the
// messages have one call shape and the statuses one place. The shell's own
// output gathered so far is written out on the way (out.cpp, beside the
// writer).
[[noreturn]] void fatal(int status, const char *prefix, const char *text = nullptr);

// Allocation that cannot fail: when the system has no memory left, the
// shell says so and ends with status 1. Every module allocates through
// these, so there is one reaction everywhere.
[[noreturn]] inline void mem_fail(void)
{
    fatal(1, nullptr, "husk: out of memory.\n");
}

[[nodiscard]] inline void *mem_calloc(size_t cnt, size_t size)
{
    void *p = calloc(cnt, size);
    if (!p)
        mem_fail();
    return p;
}

[[nodiscard]] inline void *mem_malloc(size_t size)
{
    void *p = malloc(size);
    if (!p)
        mem_fail();
    return p;
}

// Like realloc, but the old block is never lost: on failure the shell ends.
[[nodiscard]] inline void *mem_realloc(void *ptr, size_t size)
{
    void *p = realloc(ptr, size);
    if (!p)
        mem_fail();
    return p;
}

#endif
