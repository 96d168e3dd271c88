// fuzz_line.cpp - arbitrary bytes through the line analysis: the syntax
// check, then the tokeniser and both printers. Besides the sanitizers'
// own checks it stops on any broken property of the analysis:
//  - the check answers one of its three states, and an error names a whole
//    operator token inside the line;
//  - the check changes the line only where a trailing backslash becomes a
//    blank;
//  - the answer, error position and tokens agree with a plain character by
//    character reading of the language rules (ref_check, ref_tokens);
//  - checked line by line, going on where it stopped, the check answers
//    what it answers for the whole text;
//  - an accepted line has no open quote;
//  - the list is well linked, and both printers write the same text;
//  - the tokens, written back with every word quoted, read back the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "broken.h"
#include "char.h"
#include "checks.h"
#include "mem_capture.h"
#include "model.h"
#include "syntax.h"
#include "word.h"

using namespace husk_test;

namespace {

#define CHECK(cond, line)                          \
    do {                                           \
        if (!(cond))                               \
            fuzz_broken("fuzz_line", #cond, line); \
    } while (0)

// The tokens of `wl` (none for no list), checking its links on the way.
std::vector<token> list_tokens(const word_list *wl, const std::string &line)
{
    std::vector<token> out;
    if (!wl)
        return out;
    CHECK(!wl->head == !wl->tail, line);
    const word *prev = nullptr;
    for (const word *w = wl->head; w; prev = w, w = w->next) {
        CHECK(w->prev == prev, line);
        CHECK(w->str, line);
        CHECK(w->is_delim == 0 || w->is_delim == 1, line);
        out.push_back({w->str, w->is_delim});
    }
    CHECK(prev == wl->tail, line);
    return out;
}

// The tokens as a line again: operators bare, every word in single quotes
// (a single quote inside one written as '\''), one blank between tokens.
std::string requote(const std::vector<token> &toks)
{
    std::string s;
    for (const token &t : toks) {
        if (!s.empty())
            s += ' ';
        if (t.is_delim) {
            s += t.text;
            continue;
        }
        s += '\'';
        for (char c : t.text)
            s += c == '\'' ? std::string("'\\''") : std::string(1, c);
        s += '\'';
    }
    return s;
}

// Runs the check on a writable copy of `line`, as the loop does.
verdict check(const std::string &line, std::string *after)
{
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back('\0');
    verdict v{0, -7, -7};
    v.st = syntax_handle(buf.data(), &v.pos, &v.len);
    CHECK(buf.back() == '\0', line);
    after->assign(buf.data(), line.size());
    return v;
}

// The same text arriving in lines, as the loop reads it: each newline ends
// a piece, and the check of each longer buffer goes on where the one before
// stopped (once more without new text at the end, as at the end of input).
// An operator that waits for its word at the end of a piece ends there:
// each answer and each rewrite must be those of a fresh check of the whole
// buffer with a blank put in at each such join, positions counted without
// those blanks.
void check_in_pieces(const std::string &line)
{
    std::string text, spaced;    // the buffer, and the same with the blanks
    std::vector<size_t> blanks;  // where they stand in `spaced`
    syntax_scan scan = {};
    for (size_t at = 0, nl = 0; nl != std::string::npos; at = nl + 1) {
        nl = line.find('\n', at);
        if (scan.op_len) {
            blanks.push_back(spaced.size());
            spaced += ' ';
        }
        std::string piece = line.substr(at, nl == std::string::npos ? nl : nl - at);
        text += piece;
        spaced += piece;
        for (int again = nl == std::string::npos ? 2 : 1; again > 0; again--) {
            std::string fresh;
            verdict want = check(spaced, &fresh), got{0, -7, -7};
            spaced = fresh;  // with the one rewrite a check makes
            for (size_t i = blanks.size(); i-- > 0;) {
                want.pos -= want.pos > int(blanks[i]);
                fresh.erase(blanks[i], 1);
            }
            std::vector<char> buf(text.begin(), text.end());
            buf.push_back('\0');
            got.st = syntax_handle_from(buf.data(), &scan, &got.pos, &got.len);
            text.assign(buf.data(), text.size());
            CHECK(got == want && text == fresh, line);
            if (got.st != syntax_cont_read)
                return;
        }
    }
}

// The check's answer on the whole line, and the text it leaves in `*buf`.
verdict check_verdict(const std::string &line, std::string *buf)
{
    verdict v = check(line, buf);
    CHECK(v.st == syntax_ok || v.st == syntax_cont_read || v.st == syntax_err, line);
    if (v.st == syntax_err) {
        CHECK(v.pos >= 0 && (v.len == 1 || v.len == 2), line);
        CHECK(size_t(v.pos) + size_t(v.len) <= line.size(), line);
        CHECK(is_delim(buf->data() + v.pos, v.len), line);
        CHECK(v.len == op_len(*buf, size_t(v.pos)), line);
    }
    for (size_t i = 0; i < line.size(); i++)
        if ((*buf)[i] != line[i])
            CHECK(v.st == syntax_cont_read && i + 1 == line.size() && line[i] == '\\' &&
                      (*buf)[i] == ' ',
                  line);
    std::string ref_buf = line;
    CHECK(v == ref_check(ref_buf), line);
    CHECK(*buf == ref_buf, line);
    check_in_pieces(line);
    return v;
}

}  // namespace

void fuzz_line_check(const std::string &line)
{
    std::string buf;
    verdict v = check_verdict(line, &buf);
    // The tokeniser takes any text; both printers must agree on all of it.
    word_list *wl = word_list_from_buff(buf.c_str());
    CHECK(!wl == buf.empty(), line);
    std::vector<token> toks = list_tokens(wl, line);
    std::string printed = mem_capture_out([&] { word_list_print(wl); });
    CHECK(printed == mem_capture_out([&] { word_list_print_from_buff(buf.c_str()); }),
          line);
    CHECK(printed == render(toks), line);
    word_list_destroy(&wl);
    CHECK(!wl, line);
    for (const token &t : toks)
        if (t.is_delim)
            CHECK(is_delim(t.text.c_str(), int(t.text.size())), line);
    if (v.st != syntax_ok)
        return;

    CHECK(!quote_open_at_end(buf), line);
    CHECK(toks == ref_tokens(buf), line);
    std::string again = requote(toks), again_buf;
    CHECK(check(again, &again_buf).st == syntax_ok, line);
    word_list *wl2 = word_list_from_buff(again.c_str());
    CHECK(list_tokens(wl2, line) == toks, line);
    word_list_destroy(&wl2);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The reader drops every line that holds a NUL byte: none reaches the
    // check or the tokeniser.
    if (!memchr(data, '\0', size))
        fuzz_line_check(std::string(reinterpret_cast<const char *>(data), size));
    return 0;
}
