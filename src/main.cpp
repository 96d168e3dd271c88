// main.cpp - program entry and the read, check, run cycle.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

#include "define.h"
#include "exec.h"
#include "out.h"
#include "syntax.h"
#include "word.h"

// The working directory shown in the prompt; `cd` refreshes it.
char cur_path[4096];

// What read_loop found.
typedef enum input_state {
    st_fin = 0,       // input has ended, nothing to run
    st_exe_fin = 1,   // a last line without newline (never at a terminal)
    st_exe_cont = 2,  // a line ended by a newline, possibly empty
} input_state;

namespace {

// A command line, continuation lines included, holds at most this many
// characters, so that positions and sizes fit a 32-bit int.
constexpr long line_max = (1L << 30) - 1;
// Every command line starts in a block of this size, doubled as needed.
constexpr long buff_first_size = 1024;

// 1 with the option -s: accepted lines are printed as tokens, not run.
int only_print_tokens;

// The shell's own input, and what read_loop carries from one call to the
// next. Descriptor 0 is read into a block that lives for the whole run.
// From a file or a pipe one read takes whatever is there, up to the
// block's size, so a program started from a script that reads descriptor
// 0 itself goes on after what the shell has taken in by then (the rest of
// a short script, or up to 64 KiB beyond the line), not at the next line.
// At a terminal one read gives one line, so such a program reads what is
// typed next.
typedef struct def_in_reader {
    char block[1 << 16];
    size_t pos;  // the next byte to hand out
    size_t end;  // the end of what the last read gave
    int eof;     // a read answered 0: the input has ended
    int tty;     // descriptor 0 is a terminal; it cannot change while we run
    long len;    // length of the text in the loop's buffer, where a
                 // continuation line goes: measuring it again for each of
                 // many continuation lines would cost quadratic time
} in_reader;

in_reader in;

// Why read_loop drops the input line it read, with everything gathered
// for the command line so far.
typedef enum def_line_drop {
    drop_none = 0,
    drop_long = 1,  // the command line would exceed line_max
    drop_nul = 2,   // the line holds a NUL byte, which no later stage sees
} line_drop;

// Refills the block. Answers the number of bytes read, 0 at the end of
// input. An interrupted read is retried, and descriptor 0 left
// non-blocking by whoever started us is waited on rather than taken for
// the end. A read error ends the shell: input that cannot be read must not
// pass for the end of a script.
size_t in_fill(void)
{
    while (!in.eof) {
        ssize_t n = read(0, in.block, sizeof in.block);
        if (n >= 0) {
            in.pos = 0;
            in.end = static_cast<size_t>(n);
            in.eof = n == 0;
            return in.end;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd p = {0, POLLIN, 0};
            if (poll(&p, 1, -1) == -1 && errno != EINTR)
                fatal(1, "husk: read error");
        } else if (errno != EINTR) {
            fatal(1, "husk: read error");
        }
    }
    return 0;
}

// Writes the prompt, and writes it out at once: it has no newline, and the
// terminal is read next.
void print_invitation(void)
{
    out_put(cur_path, strlen(cur_path));
    out_put("> ", 2);
    out_flush();
}

// Copies the rest of the input line onto the end of `*buff` (capacity
// `*size`, text `in.len` long), growing it by doubling. Sets `*newline`
// when a newline ended it. A line that cannot be kept is read to its end
// all the same, and the answer says why it is dropped. Inlined in both its
// callers: as a call, the -s run of bench/compare-parse.sh takes 3 % more
// instructions.
[[gnu::always_inline]] inline line_drop line_read(char **buff, long *size, int *newline)
{
    line_drop drop = drop_none;
    *newline = 0;
    while (!*newline && (in.pos < in.end || in_fill() > 0)) {
        const char *text = in.block + in.pos;
        size_t n = in.end - in.pos;
        const char *nl = static_cast<const char *>(memchr(text, '\n', n));
        if (nl) {
            n = static_cast<size_t>(nl - text);
            *newline = 1;
        }
        in.pos += n + static_cast<size_t>(*newline);
        if (drop == drop_none && memchr(text, '\0', n))
            drop = drop_nul;
        else if (drop == drop_none && in.len + static_cast<long>(n) > line_max)
            drop = drop_long;
        if (drop != drop_none)
            continue;
        if (in.len + static_cast<long>(n) > *size - 1) {
            while (in.len + static_cast<long>(n) > *size - 1)
                *size *= 2;
            *buff = static_cast<char *>(mem_realloc(*buff, static_cast<size_t>(*size)));
        }
        memcpy(*buff + in.len, text, n);
        in.len += static_cast<long>(n);
    }
    return drop;
}

// Says why line_read dropped a line.
void drop_report(line_drop drop)
{
    if (drop == drop_nul)
        fputs("Error: line holds a NUL byte; skipped.\n", stderr);
    else if (drop == drop_long)
        fprintf(stderr, "Error: line longer than %ld characters; skipped.\n", line_max);
}

// Reads one input line onto the end of the buffer `*buffptr` (a new one
// when it is null), growing it by doubling; at a terminal, shows the
// prompt first. Answers what ended the line.
input_state read_loop(char **buffptr, int *size)
{
    if (!*buffptr) {
        *buffptr = static_cast<char *>(mem_malloc(buff_first_size));
        *size = static_cast<int>(buff_first_size);
    }
    long max_buff_size = *size;
    if (in.tty)
        print_invitation();
    int newline;
    line_drop drop = line_read(buffptr, &max_buff_size, &newline);
    drop_report(drop);
    if (drop != drop_none)
        in.len = 0;  // the block goes back with the line (mem_free)
    (*buffptr)[in.len] = '\0';
    *size = static_cast<int>(max_buff_size);
    if (newline)
        return st_exe_cont;
    return in.len > 0 && !in.tty ? st_exe_fin : st_fin;
}

// In a script, a command line that failed the check is dropped whole: the
// input lines its text goes on into (an open quote, a final backslash, a
// last |, || or &&) are read and dropped with it, silently, so that none of
// them runs as a command line of its own. A line with a NUL byte or too
// long ends the dropping as it ends any command line. Answers 1 when the
// input ended meanwhile.
int line_drop_rest(char **buff, int *size)
{
    syntax_tail tail = {};
    int goes_on = syntax_tail_handle(*buff, &tail);
    long max_buff_size = *size;
    int newline = 1;
    while (goes_on && newline) {
        in.len = 0;  // each dropped line alone: only `tail` is carried
        line_drop drop = line_read(buff, &max_buff_size, &newline);
        drop_report(drop);
        (*buff)[in.len] = '\0';
        goes_on = drop == drop_none && syntax_tail_handle(*buff, &tail);
    }
    *size = static_cast<int>(max_buff_size);
    return !newline;
}

// Ends a command line: its list goes, and its text. A block of the first
// size is kept for the next line; a larger one is given back, so that one
// long line does not keep its memory for the rest of the run.
void mem_free(char **buff, int size, word_list **wl)
{
    in.len = 0;
    if (size > buff_first_size) {
        free(*buff);
        *buff = nullptr;
    }
    if (*wl)
        word_list_destroy(wl);
}

// Handles a line the syntax check has accepted: prints its tokens with -s,
// runs it otherwise.
void line_handle(const char *buff, word_list **wl)
{
    if (only_print_tokens) {
        word_list_print_from_buff(buff);
        // A listing nobody can read any more is not worth reading the rest
        // of the input for, which may never end.
        if (out_error()) {
            errno = out_error();
            fatal(1, "husk: write error");
        }
        return;
    }
    *wl = word_list_from_buff(buff);
    exec_word_list_handle(*wl);
}

// The check of the buffer, going on where the check of its earlier text
// stopped. When no more input will come (`fin`), a line still unfinished
// is reported and not run; a trailing backslash has just become a blank,
// so one more check decides that case.
syntax_state line_check(char *buff, syntax_scan *scan, int fin, int *err_pos,
                        int *err_symcnt)
{
    if (buff[0] == '\0')  // empty, or dropped
        *scan = {};
    syntax_state res = syntax_handle_from(buff, scan, err_pos, err_symcnt);
    if (res == syntax_cont_read && fin) {
        res = syntax_handle_from(buff, scan, err_pos, err_symcnt);
        if (res == syntax_cont_read)
            fputs("Error: unexpected end of input.\n", stderr);
    }
    return res;
}

// Reads, checks and handles command lines until the input ends.
void loop(void)
{
    int fin_flag = 0;
    int max_buff_size = 0, err_pos = 0, err_symcnt = 0;
    char *buff = nullptr;
    word_list *wl = nullptr;
    syntax_scan scan = {};
    int new_line = 1;  // the next read starts a command line
    while (!fin_flag) {
        if (new_line) {
            scan = {};
            if (!only_print_tokens)
                proc_finished_handle();
        }
        input_state input_st = read_loop(&buff, &max_buff_size);
        if (input_st == st_fin) {
            if (in.tty)
                out_line("\n", 1);
            break;
        }
        fin_flag = input_st == st_exe_fin;
        syntax_state res = line_check(buff, &scan, fin_flag, &err_pos, &err_symcnt);
        new_line = res != syntax_cont_read || fin_flag;
        if (!new_line)
            continue;
        if (res == syntax_err) {
            fprintf(stderr, "Error: '%.*s' is unexpected.\n", err_symcnt, buff + err_pos);
            // At a terminal the person has seen the message before typing
            // the next line: it starts a new command line.
            if (!in.tty && !fin_flag)
                fin_flag = line_drop_rest(&buff, &max_buff_size);
        } else if (res == syntax_ok)
            line_handle(buff, &wl);
        mem_free(&buff, max_buff_size, &wl);
    }
    free(buff);
    word_scratch_free();
}

}  // namespace

// Each call is a whole run from a clean state, so that the fuzz target can
// call it once per input: the option, the reader and the writer start
// afresh here.
int main(int argc, char **argv)
{
    only_print_tokens = argc > 1 && strcmp(argv[1], "-s") == 0;
    in.pos = in.end = 0;
    in.eof = 0;
    in.len = 0;
    in.tty = isatty(0);
    out_reset(isatty(1));
    if (!getcwd(cur_path, sizeof cur_path))
        perror(nullptr);
    loop();
    // Output that could not be written is lost: say so, never succeed.
    if (out_flush() == 0)
        return 0;
    errno = out_error();
    perror("husk: write error");
    return 1;
}
