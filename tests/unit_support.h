// unit_support.h - the nine operator tokens as the unit tests expect them,
// shared by the classifier, syntax and tokeniser tests, and the capture of
// what a call writes.
#ifndef HUSK_UNIT_SUPPORT_H
#define HUSK_UNIT_SUPPORT_H

#include <string_view>

#include "capture.h"
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

}  // namespace husk_test

#endif
