// model.cpp - the command language read straight from its rules.
#include "model.h"

#include <cstring>

// The prompt path, defined by the program entry, for the tests, fuzz targets
// and benchmarks that link the modules without it. Where main.cpp is
// linked too (fuzz_loop), its definition is the one taken.
[[gnu::weak]] char cur_path[4096];

namespace husk_test {

const op_info *op_find(std::string_view text)
{
    for (const op_info &op : ops)
        if (text == op.text)
            return &op;
    return nullptr;
}

bool op_char(char c)
{
    return c && strchr(";&|<>", c);
}

bool space_char(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int op_len(const std::string &b, size_t i)
{
    return b[i] != ';' && i + 1 < b.size() && b[i + 1] == b[i] ? 2 : 1;
}

std::vector<std::string> op_cut(const std::string &run)
{
    std::vector<std::string> toks;
    for (size_t i = 0; i < run.size(); i += toks.back().size())
        toks.push_back(run.substr(i, static_cast<size_t>(op_len(run, i))));
    return toks;
}

namespace {

char op_side(char c, int len)
{
    if (c == '<' || c == '>')
        return 'r';
    return c == '|' || len == 2 ? 'b' : 'l';  // | || && join, ; & end
}

}  // namespace

verdict ref_check(std::string &b)
{
    char quote = 0;
    bool cmd = false;
    for (size_t i = 0; i < b.size(); i++) {
        char c = b[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (op_char(c)) {
            int n = op_len(b, i);
            char s = op_side(c, n);
            if (s != 'r' && !cmd)
                return {syntax_err, int(i), n};
            if (s != 'l') {
                size_t j = i + static_cast<size_t>(n);
                while (j < b.size() && space_char(b[j]))
                    j++;
                if (j == b.size())
                    return s == 'b' ? verdict{syntax_cont_read, 0, 0}
                                    : verdict{syntax_err, int(i), n};
                if (op_char(b[j]))
                    return {syntax_err, int(j), op_len(b, j)};
            }
            cmd = false;
            i += static_cast<size_t>(n) - 1;
        } else if (c == '\\') {
            if (i + 1 == b.size()) {
                b[i] = ' ';
                return {syntax_cont_read, 0, 0};
            }
            i++;
            cmd = true;
        } else if (c == '\'' || c == '"') {
            quote = c;
            cmd = true;
        } else if (!space_char(c)) {
            cmd = true;
        }
    }
    return {quote ? syntax_cont_read : syntax_ok, 0, 0};
}

bool quote_open_at_end(const std::string &b)
{
    char quote = 0;
    for (size_t i = 0; i < b.size(); i++) {
        if (quote)
            quote = b[i] == quote ? 0 : quote;
        else if (b[i] == '\\')
            i++;
        else if (b[i] == '\'' || b[i] == '"')
            quote = b[i];
    }
    return quote != 0;
}

std::vector<token> ref_tokens(const std::string &b)
{
    std::vector<token> out;
    size_t i = 0;
    for (;;) {
        while (i < b.size() && space_char(b[i]))
            i++;
        if (i == b.size())
            return out;
        if (op_char(b[i])) {
            size_t n = static_cast<size_t>(op_len(b, i));
            out.push_back({b.substr(i, n), 1});
            i += n;
            continue;
        }
        std::string w;
        char quote = 0;
        for (; i < b.size(); i++) {
            char c = b[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
                else
                    w += c;
            } else if (c == '\'' || c == '"') {
                quote = c;
            } else if (space_char(c) || op_char(c)) {
                break;
            } else if (c == '\\') {
                if (++i == b.size())
                    break;
                w += b[i];
            } else {
                w += c;
            }
        }
        out.push_back({w, 0});
    }
}

std::string render(const std::vector<token> &toks)
{
    std::string s;
    for (size_t i = 0; i < toks.size(); i++)
        s += "[" + toks[i].text + (i + 1 < toks.size() ? "] " : "]\n");
    return s;
}

bool ref_goes_on(std::string &t)
{
    char quote = 0;
    bool op = false;
    for (size_t i = 0; i < t.size(); i++) {
        char c = t[i];
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '\'' || c == '"') {
            quote = c;
            op = false;
        } else if (c == '\\') {
            if (i + 1 == t.size()) {
                t[i] = ' ';
                return true;
            }
            i++;
            op = false;
        } else if (op_char(c)) {
            int n = op_len(t, i);
            op = op_side(c, n) == 'b';
            i += static_cast<size_t>(n) - 1;
        } else if (!space_char(c)) {
            op = false;
        }
    }
    return quote || op;
}

std::string msg_unexpected(const std::string &tok)
{
    return "Error: '" + tok + "' is unexpected.\n";
}

// The loop of the shell, line by line. `text` is the command line read so
// far; `spaced` is the same with a blank put in wherever an operator waited
// for its word at the end of a line, since such an operator ends with its
// line (the check and the tokens are taken from `spaced`). A command line
// that fails the check is dropped with the lines its text goes on into.
listing ref_listing(const std::string &input)
{
    listing r;
    std::string text, spaced, dropped;
    bool cont = false, dropping = false;
    for (size_t at = 0; at <= input.size();) {
        size_t nl = input.find('\n', at);
        bool last = nl == std::string::npos;
        std::string line = input.substr(at, last ? std::string::npos : nl - at);
        at = last ? input.size() + 1 : nl + 1;
        if (line.find('\0') != std::string::npos) {
            r.err += msg_nul;
            text.clear();
            spaced.clear();
            cont = dropping = false;
            continue;
        }
        if (dropping) {
            dropped += line;
            dropping = !last && ref_goes_on(dropped);
            continue;
        }
        if (last && line.empty() && !cont)
            break;
        text += line;
        spaced += line;
        verdict v{syntax_cont_read, 0, 0};
        for (int pass = last ? 2 : 1; pass > 0 && v.st == syntax_cont_read; pass--) {
            bool backslash = !spaced.empty() && spaced.back() == '\\';
            v = ref_check(spaced);
            if (backslash && spaced.back() == ' ')
                text.back() = ' ';
        }
        if (v.st == syntax_cont_read && last) {
            r.err += msg_eoi;
        } else if (v.st == syntax_cont_read) {
            cont = true;
            if (!quote_open_at_end(spaced))
                spaced += ' ';
            continue;
        } else if (v.st == syntax_err) {
            r.err += msg_unexpected(spaced.substr(size_t(v.pos), size_t(v.len)));
            dropped = text;
            dropping = !last && ref_goes_on(dropped);
        } else {
            r.out += render(ref_tokens(spaced));
        }
        text.clear();
        spaced.clear();
        cont = false;
    }
    return r;
}

}  // namespace husk_test
