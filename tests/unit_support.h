// unit_support.h - the nine operator tokens as the unit tests expect them,
// shared by the classifier, syntax and tokeniser tests, and a capture of
// what a call writes.
#ifndef HUSK_UNIT_SUPPORT_H
#define HUSK_UNIT_SUPPORT_H

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

#include "define.h"

namespace husk_test {

struct op_info {
    const char *text;  // the token as written
    delim kind;        // what the classifiers report for it
    char side;         // 'l' ends a command, 'r' redirects, 'b' joins two
};

inline constexpr op_info ops[] = {
    {";", delim_semi, 'l'},         {"&", delim_ampersand, 'l'},
    {"|", delim_pipe, 'b'},         {"||", delim_logical_or, 'b'},
    {"&&", delim_logical_and, 'b'}, {"<", delim_redir_in, 'r'},
    {">", delim_redir_out, 'r'},    {"<<", delim_redir_in2, 'r'},
    {">>", delim_redir_out2, 'r'},
};

// The operator whose text is exactly `text`, or null.
inline const op_info *op_find(std::string_view text)
{
    for (const op_info &op : ops)
        if (text == op.text)
            return &op;
    return nullptr;
}

inline int op_len(const op_info &op)
{
    return static_cast<int>(std::string_view(op.text).size());
}

// Runs `fn` with descriptor `fd` (1 or 2) on a memory file, and answers
// all that was written there, through the C streams or not.
template <typename F>
std::string capture(int fd, F fn)
{
    fflush(nullptr);
    int saved = dup(fd), mem = memfd_create("capture", MFD_CLOEXEC);
    if (saved == -1 || mem == -1 || dup2(mem, fd) == -1)
        abort();
    fn();
    fflush(nullptr);
    dup2(saved, fd);
    close(saved);
    std::string text(static_cast<size_t>(lseek(mem, 0, SEEK_END)), '\0');
    if (pread(mem, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
        abort();
    close(mem);
    return text;
}

}  // namespace husk_test

#endif
