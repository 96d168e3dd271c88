// broken.h - how a fuzz target stops on a broken property: it names the
// property and the line (bytes outside printable ASCII as \xNN) on standard
// error and aborts, so that the fuzzer saves the input.
#ifndef HUSK_FUZZ_BROKEN_H
#define HUSK_FUZZ_BROKEN_H

#include <cstdio>
#include <cstdlib>
#include <string>

// When set, called after the report in place of abort: the exhaustive runs
// (prove.cpp) need neither the saved input nor a core.
inline void (*fuzz_broken_end)(void) = nullptr;

// `text` as a report shows it: its size, then its bytes.
inline std::string fuzz_shown(const std::string &text)
{
    std::string s = "(";
    s.append(std::to_string(text.size())).append(" bytes): ");
    for (unsigned char c : text) {
        char shown[8];
        snprintf(shown, sizeof shown, c >= 32 && c < 127 ? "%c" : "\\x%02x", c);
        s += shown;
    }
    return s;
}

[[noreturn]] inline void fuzz_broken(const char *target, const char *what,
                                     const std::string &line)
{
    fprintf(stderr, "%s: property broken: %s\nline %s\n", target, what,
            fuzz_shown(line).c_str());
    if (fuzz_broken_end)
        fuzz_broken_end();
    abort();
}

#endif
