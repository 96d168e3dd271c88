// char.cpp - the character vocabulary of the command language.
#include "char.h"


int is_char_from_delim(char c)
{
    return c == ';' || c == '&' || c == '|' || c == '<' || c == '>';
}

int is_char_special(char c)
{
    return c == '\'' || c == '"' || c == '\\';
}

int is_quote(char c)
{
    return c == '\'' || c == '"';
}

int is_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int is_delim(const char *token, int char_cnt)
{
    if (!token || char_cnt < 1 || char_cnt > 2)
        return 0;
    if (char_cnt == 1)
        return is_char_from_delim(token[0]);
    return token[0] != ';' && is_char_from_delim(token[0]) &&
           token[1] == token[0];
}

int is_leftside_delim(const char *token, int char_cnt, delim *dl)
{
    if (!token || char_cnt > 1)
        return 0;
    delim kind = delim_err;
    if (token[0] == ';')
        kind = delim_semi;
    else if (token[0] == '&')
        kind = delim_ampersand;
    if (dl)
        *dl = kind;
    return kind != delim_err;
}

int is_rightside_delim(const char *token, int char_cnt, delim *dl)
{
    if (!token || char_cnt < 1 || char_cnt > 2)
        return 0;
    delim kind = delim_err;
    if (char_cnt == 1 || token[1] == token[0]) {
        if (token[0] == '<')
            kind = char_cnt == 1 ? delim_redir_in : delim_redir_in2;
        else if (token[0] == '>')
            kind = char_cnt == 1 ? delim_redir_out : delim_redir_out2;
    }
    if (dl)
        *dl = kind;
    return kind != delim_err;
}

int is_bothside_delim(const char *token, int char_cnt, delim *dl)
{
    if (!token || char_cnt < 1 || char_cnt > 2)
        return 0;
    delim kind = delim_err;
    if (char_cnt == 1) {
        if (token[0] == '|')
            kind = delim_pipe;
    } else if (token[1] == token[0]) {
        if (token[0] == '|')
            kind = delim_logical_or;
        else if (token[0] == '&')
            kind = delim_logical_and;
    }
    if (dl)
        *dl = kind;
    return kind != delim_err;
}

int is_word_delim(const char *token, int char_cnt, delim *dl)
{
    return is_rightside_delim(token, char_cnt, dl);
}

int is_cmd_delim(const char *token, int char_cnt, delim *dl)
{
    return is_leftside_delim(token, char_cnt, dl) ||
           is_bothside_delim(token, char_cnt, dl);
}
