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

namespace {

// A token as the rules read it: where it starts in the line, and its text,
// a word's with quotes and backslashes resolved.
struct lexeme {
    size_t pos;
    token tok;
};

// The tokens of a line, and what is still open at its end: a quote, or a
// backslash as the last character outside quotes (a lone one makes an
// empty word). The one reading of the rules for quotes, backslashes,
// blanks and operator tokens: the check, the tokens and the tail of a
// dropped line are all taken from it.
struct lexed {
    std::vector<lexeme> toks;
    char quote = 0;
    bool backslash = false;
};

lexed lex(const std::string &b)
{
    lexed r;
    for (size_t i = 0;;) {
        while (i < b.size() && space_char(b[i]))
            i++;
        if (i == b.size())
            return r;
        size_t at = i;
        if (op_char(b[i])) {
            size_t n = static_cast<size_t>(op_len(b, i));
            r.toks.push_back({at, {b.substr(i, n), 1}});
            i += n;
            continue;
        }
        std::string w;
        for (; i < b.size(); i++) {
            char c = b[i];
            if (r.quote && c == r.quote) {
                r.quote = 0;
            } else if (r.quote) {
                w += c;
            } else if (c == '\'' || c == '"') {
                r.quote = c;
            } else if (space_char(c) || op_char(c)) {
                break;
            } else if (c == '\\') {
                if (++i == b.size()) {
                    r.backslash = true;
                    break;
                }
                w += b[i];
            } else {
                w += c;
            }
        }
        r.toks.push_back({at, {w, 0}});
    }
}

char side(const lexeme &l)
{
    return l.tok.is_delim ? op_find(l.tok.text)->side : 0;
}

// Whether `t`, the text of a command line that failed the check joined with
// the lines it went on into, goes on past its end: an open quote, a final
// backslash outside quotes (which becomes a blank, as on a continuation), or
// a last token | || or &&. Where operators stand is not judged.
bool ref_goes_on(std::string &t)
{
    lexed l = lex(t);
    if (l.backslash)
        t.back() = ' ';
    return l.quote || l.backslash || (!l.toks.empty() && side(l.toks.back()) == 'b');
}

}  // namespace

verdict ref_check(std::string &b)
{
    lexed l = lex(b);
    auto err = [&](size_t k) {
        return verdict{syntax_err, static_cast<int>(l.toks[k].pos),
                       static_cast<int>(l.toks[k].tok.text.size())};
    };
    bool cmd = false;
    for (size_t k = 0; k < l.toks.size(); k++) {
        char s = side(l.toks[k]);
        if (!s) {
            cmd = true;
            continue;
        }
        if (s != 'r' && !cmd)
            return err(k);
        if (s != 'l' && k + 1 == l.toks.size())
            return s == 'b' ? verdict{syntax_cont_read, 0, 0} : err(k);
        if (s != 'l' && side(l.toks[k + 1]))
            return err(k + 1);
        cmd = false;
    }
    if (l.backslash)
        b.back() = ' ';
    return {l.quote || l.backslash ? syntax_cont_read : syntax_ok, 0, 0};
}

bool quote_open_at_end(const std::string &b)
{
    return lex(b).quote != 0;
}

std::vector<token> ref_tokens(const std::string &b)
{
    std::vector<token> out;
    for (const lexeme &l : lex(b).toks)
        out.push_back(l.tok);
    return out;
}

std::string render(const std::vector<token> &toks)
{
    std::string s;
    for (size_t i = 0; i < toks.size(); i++)
        s += "[" + toks[i].text + (i + 1 < toks.size() ? "] " : "]\n");
    return s;
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
