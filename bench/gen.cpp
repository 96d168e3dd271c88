// gen.cpp - writes the benchmark inputs on standard output.
//
//   husk_gen script BYTES [SEED]   command lines, at least BYTES in all
//   husk_gen line BYTES [SEED]     one line of typical words, then a newline
//
// The same arguments always give the same bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gen.h"

int main(int argc, char **argv)
{
    if (argc < 3 || (strcmp(argv[1], "script") != 0 && strcmp(argv[1], "line") != 0)) {
        fputs("usage: husk_gen script|line BYTES [SEED]\n", stderr);
        return 2;
    }
    size_t bytes = strtoull(argv[2], nullptr, 10);
    gen_rng rng = {argc > 3 ? strtoull(argv[3], nullptr, 10) : 1};
    std::string out;
    out.reserve(bytes + 4096);
    if (strcmp(argv[1], "script") == 0) {
        gen_script(&rng, &out, bytes);
    } else {
        gen_long_line(&rng, &out, bytes);
        out += '\n';
    }
    if (fwrite(out.data(), 1, out.size(), stdout) != out.size() || fflush(stdout) != 0) {
        perror("husk_gen");
        return 1;
    }
    return 0;
}
