// gen.h - deterministic command lines for the benchmarks: the kind of
// lines people type and scripts hold, with quotes, escapes, pipes,
// redirections and the list operators. The same seed always gives the
// same text, so figures from different runs and machines compare.
//
// Every line is also a valid line for an ordinary POSIX shell (no $,
// backquotes, comments, parentheses or here-documents, no backslash inside
// quotes), so the same file can be handed to another shell's parser.
#ifndef HUSK_BENCH_GEN_H
#define HUSK_BENCH_GEN_H

#include <cstdint>
#include <string>

// A small fast generator (splitmix64); its sequence is fixed by the seed.
typedef struct def_gen_rng {
    uint64_t state;
} gen_rng;

inline uint64_t gen_next(gen_rng *r)
{
    uint64_t z = (r->state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// A number in [0, n).
inline unsigned gen_below(gen_rng *r, unsigned n)
{
    return static_cast<unsigned>(gen_next(r) % n);
}

template <size_t N> const char *gen_pick(gen_rng *r, const char *const (&arr)[N])
{
    return arr[gen_below(r, N)];
}

namespace gen_words {

// The word lists read best filled to the line.
// clang-format off

inline constexpr const char *cmds[] = {
    "ls", "grep", "cat", "sort", "uniq", "wc", "head", "tail", "cut", "tr",
    "find", "xargs", "sed", "awk", "cp", "mv", "rm", "mkdir", "tar", "gzip",
    "make", "git", "echo", "printf", "test", "diff", "chmod", "ln", "du",
    "df", "ps", "kill", "sleep", "date", "touch", "stat", "curl", "ssh",
    "/usr/bin/env", "./configure", "./build.sh", "cmake", "ninja", "less"};
inline constexpr const char *opts[] = {
    "-l", "-la", "-rf", "-n", "-v", "-i", "-c", "-k2", "-rn", "-h", "-s",
    "-f", "-p", "-x", "-9", "--color=auto", "--verbose", "--help",
    "--prefix=/usr/local", "-j4", "-O2", "--depth=1", "-name", "-type"};
inline constexpr const char *paths[] = {
    "/etc/passwd", "/var/log/syslog", "/usr/share/doc", "/tmp/out.txt",
    "src/main.cpp", "include/config.h", "../notes.txt", "build/", "README.md",
    "docs/index.html", "data-2024-03.csv", "~/projects/husk", "a.out",
    "Makefile", "test/input_01.txt", "/dev/null", "report.log", "*.o",
    "photos/IMG_0042.JPG", ".gitignore", "lib/libfoo.so.1", "x86_64"};
inline constexpr const char *plain[] = {
    "hello", "world", "origin", "main", "install", "clean", "all", "status",
    "commit", "push", "error", "warning", "user", "root", "42", "1024",
    "version", "release", "debug", "utf-8", "key=value", "name.txt", "x",
    "localhost", "example.com", "file", "TODO"};
inline constexpr const char *quoted[] = {
    "'hello world'", "\"fix: handle empty input\"", "'^total'",
    "\"Initial commit\"", "'a|b;c&d'", "\"no such file\"", "''",
    "'%s\\n'", "\"one two three\"", "'<html>'", "\"x && y || z\"",
    "'s/foo/bar/g'", "\"it's done\"", "'{print $1}'", "\"a  b\"",
    "'*.txt'", "\"C:/Program Files\""};
inline constexpr const char *escaped[] = {
    "my\\ file.txt", "a\\;b", "\\|", "\\&", "don\\'t", "\\\"q\\\"", "x\\\\y",
    "two\\ words\\ here", "\\<tag\\>", "semi\\;colon"};
inline constexpr const char *redirs[] = {">", ">>", "<", "2>"};
inline constexpr const char *redir_files[] = {
    "out.txt", "/tmp/log", "input.txt", "/dev/null", "errors.log",
    "build.log", "\"result file.txt\"", "report.csv"};

// clang-format on

}  // namespace gen_words

// Appends one typical argument word.
inline void gen_word(gen_rng *r, std::string *out)
{
    unsigned k = gen_below(r, 100);
    if (k < 25)
        *out += gen_pick(r, gen_words::opts);
    else if (k < 55)
        *out += gen_pick(r, gen_words::paths);
    else if (k < 80)
        *out += gen_pick(r, gen_words::plain);
    else if (k < 94)
        *out += gen_pick(r, gen_words::quoted);
    else
        *out += gen_pick(r, gen_words::escaped);
}

// Appends one command: a name, a few arguments, sometimes a redirection.
inline void gen_command(gen_rng *r, std::string *out)
{
    *out += gen_pick(r, gen_words::cmds);
    unsigned args = gen_below(r, 5);
    for (unsigned i = 0; i < args; i++) {
        *out += ' ';
        gen_word(r, out);
    }
    if (gen_below(r, 4) == 0) {
        *out += ' ';
        *out += gen_pick(r, gen_words::redirs);
        *out += gen_below(r, 2) ? " " : "";
        *out += gen_pick(r, gen_words::redir_files);
    }
}

// Appends one command line, newline included: one to four commands joined
// by | && || ; and now and then sent to the background, with the odd
// indentation and blank line.
inline void gen_line(gen_rng *r, std::string *out)
{
    static constexpr const char *joins[] = {" | ",  " | ",  " | ", " && ",
                                            " && ", " || ", "; ",  " & "};
    if (gen_below(r, 20) == 0) {
        *out += '\n';
        return;
    }
    if (gen_below(r, 8) == 0)
        *out += gen_below(r, 2) ? "\t" : "    ";
    unsigned cmds = 1 + gen_below(r, 4);
    for (unsigned i = 0; i < cmds; i++) {
        if (i > 0)
            *out += gen_pick(r, joins);
        gen_command(r, out);
    }
    if (gen_below(r, 12) == 0)
        *out += " &";
    *out += '\n';
}

// Appends lines until `out` holds at least `bytes` characters.
inline void gen_script(gen_rng *r, std::string *out, size_t bytes)
{
    while (out->size() < bytes)
        gen_line(r, out);
}

// Appends one line of about `bytes` characters: a command and its typical
// words, separated by single blanks, without a newline.
inline void gen_long_line(gen_rng *r, std::string *out, size_t bytes)
{
    size_t end = out->size() + bytes;
    *out += "printf";
    while (out->size() < end) {
        *out += ' ';
        gen_word(r, out);
    }
}

#endif
