// main.cpp - program entry and the read, check, run cycle.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "define.h"
#include "exec.h"
#include "in.h"
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

// Every command line starts in a block of this size, doubled as needed.
constexpr long buff_first_size = 1024;

// 1 with the option -s: accepted lines are printed as tokens, not run.
int only_print_tokens;

// Writes the prompt, and writes it out at once: it has no newline, and the
// terminal is read next.
void print_invitation(void)
{
    out_put(cur_path, strlen(cur_path));
    out_put("> ", 2);
    out_flush();
}

// Says why in_line_read dropped a line.
void drop_report(line_drop drop)
{
    if (drop == drop_nul)
        fputs("Error: line holds a NUL byte; skipped.\n", stderr);
    else if (drop == drop_long)
        fprintf(stderr, "Error: line longer than %ld characters; skipped.\n", line_max);
}

// Reads one input line onto the end of the buffer `*buffptr` (a new one
// when it is null), whose text is `*len` long; at a terminal, shows the
// prompt first. A dropped line is reported and leaves the buffer empty.
// Answers what ended the line.
input_state read_loop(char **buffptr, int *size, long *len)
{
    if (!*buffptr) {
        *buffptr = static_cast<char *>(mem_malloc(buff_first_size));
        *size = static_cast<int>(buff_first_size);
    }
    long max_buff_size = *size;
    if (in_buf.tty)
        print_invitation();
    int newline;
    line_drop drop = in_line_read(buffptr, &max_buff_size, len, &newline);
    drop_report(drop);
    if (drop != drop_none)
        *len = 0;  // the block goes back with the line (mem_free)
    (*buffptr)[*len] = '\0';
    *size = static_cast<int>(max_buff_size);
    if (newline)
        return st_exe_cont;
    return *len > 0 && !in_buf.tty ? st_exe_fin : st_fin;
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
        long len = 0;  // each dropped line alone: only `tail` is carried
        line_drop drop = in_line_read(buff, &max_buff_size, &len, &newline);
        drop_report(drop);
        (*buff)[len] = '\0';
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
    if (size > buff_first_size) {
        free(*buff);
        *buff = nullptr;
    }
    if (*wl)
        word_list_destroy(wl);
}

// Ends the shell when its own output could not be written: output that is
// lost must never pass for success.
[[noreturn]] void write_failed(void)
{
    errno = out_error();
    fatal(1, "husk: write error");
}

// Handles a line the syntax check has accepted: prints its tokens with -s,
// runs it otherwise.
void line_handle(const char *buff, word_list **wl)
{
    if (only_print_tokens) {
        word_list_print_from_buff(buff);
        // A listing nobody can read any more is not worth reading the rest
        // of the input for, which may never end.
        if (out_error())
            write_failed();
        return;
    }
    *wl = word_list_from_buff(buff);
    exec_word_list_handle(*wl);
}

// Reports a command line that is not run: a misplaced operator, or a line
// still unfinished when the input ended (`fin`). Answers 1 when the input
// has ended.
int line_reject(char **buff, int *size, syntax_state res, int err_pos, int err_symcnt,
                int fin)
{
    if (res == syntax_cont_read) {
        fputs("Error: unexpected end of input.\n", stderr);
        return 1;
    }
    fprintf(stderr, "Error: '%.*s' is unexpected.\n", err_symcnt, *buff + err_pos);
    // At a terminal the person has seen the message before typing the next
    // line: it starts a new command line.
    if (!in_buf.tty && !fin)
        return line_drop_rest(buff, size);
    return fin;
}

// The check of the buffer, going on where the check of its earlier text
// stopped. When no more input will come (`fin`), a trailing backslash has
// just become a blank, so one more check decides the line: syntax_cont_read
// then means that it stays unfinished.
syntax_state line_check(char *buff, syntax_scan *scan, int fin, int *err_pos,
                        int *err_symcnt)
{
    if (buff[0] == '\0')  // empty, or dropped
        *scan = {};
    syntax_state res = syntax_handle_from(buff, scan, err_pos, err_symcnt);
    if (res == syntax_cont_read && fin)
        res = syntax_handle_from(buff, scan, err_pos, err_symcnt);
    return res;
}

// Reads, checks and handles command lines until the input ends.
void loop(void)
{
    int fin_flag = 0;
    int max_buff_size = 0, err_pos = 0, err_symcnt = 0;
    long len = 0;  // the length of the text in `buff`
    char *buff = nullptr;
    word_list *wl = nullptr;
    syntax_scan scan = {};
    int new_line = 1;  // the next read starts a command line
    while (!fin_flag) {
        if (new_line) {
            scan = {};
            len = 0;
            if (!only_print_tokens)
                proc_finished_handle();
        }
        input_state input_st = read_loop(&buff, &max_buff_size, &len);
        if (input_st == st_fin) {
            if (in_buf.tty)
                out_line("\n", 1);
            break;
        }
        fin_flag = input_st == st_exe_fin;
        syntax_state res = line_check(buff, &scan, fin_flag, &err_pos, &err_symcnt);
        new_line = res != syntax_cont_read || fin_flag;
        if (!new_line)
            continue;
        if (res == syntax_ok)
            line_handle(buff, &wl);
        else
            fin_flag =
                line_reject(&buff, &max_buff_size, res, err_pos, err_symcnt, fin_flag);
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
    in_reset();
    out_reset(isatty(1));
    if (!getcwd(cur_path, sizeof cur_path))
        perror(nullptr);
    loop();
    if (out_flush() != 0)
        write_failed();
    return 0;
}
