// main.cpp - program entry and the read, check, run cycle.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

#include "define.h"
#include "exec.h"
#include "syntax.h"
#include "word.h"

// The working directory shown in the prompt; `cd` refreshes it.
char cur_path[4096];
// 1 with the option -s: accepted lines are printed as tokens, not run.
int only_print_tokens;

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

// Whether standard input is a terminal; it cannot change while we run, so
// it is asked once, not once per line.
int stdin_tty;

// The shell's own input: descriptor 0, read into a block that lives for the
// whole run. From a file or a pipe one read takes whatever is there, up to
// the block's size, so a program started from a script that reads
// descriptor 0 itself goes on after what the shell has taken in by then
// (the rest of a short script, or up to 64 KiB beyond the line), not at the
// next line. At a terminal one read gives one line, so such a program reads
// what is typed next.
typedef struct def_in_reader {
    char block[1 << 16];
    size_t pos;  // the next byte to hand out
    size_t end;  // the end of what the last read gave
    int eof;     // a read answered 0: the input has ended
} in_reader;

in_reader in;

// The length of the text in the loop's buffer, where a continuation line
// is appended: measuring the buffer again for each of many continuation
// lines would cost time quadratic in its length.
long buff_len;

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

// Makes the next input line start with a blank. Called only after a line
// ended by a newline, which the blank overwrites in the block.
void in_unread_blank(void)
{
    in.block[--in.pos] = ' ';
}

void print_invitation(void)
{
    printf("%s> ", cur_path);
}

// Why read_loop drops the physical line it read, with everything gathered
// for the command line so far.
typedef enum def_line_drop {
    drop_none = 0,
    drop_long = 1,  // the command line would exceed line_max
    drop_nul = 2,   // the line holds a NUL byte, which no later stage can see
} line_drop;

// Reads one input line onto the end of the buffer `*buffptr` (a new one
// when it is null), growing it by doubling. Answers what ended the line.
input_state read_loop(char **buffptr, int *size)
{
    if (!buffptr)
        return st_fin;
    char *buff = *buffptr;
    long max_buff_size = buff_first_size;
    long i = 0;
    if (!buff) {
        buff = static_cast<char *>(mem_malloc(max_buff_size));
    } else {
        max_buff_size = *size;
        i = buff_len;
    }
    if (stdin_tty) {
        // The prompt has no newline: write it out before the terminal is
        // read.
        print_invitation();
        fflush(stdout);
    }
    line_drop drop = drop_none;
    int newline = 0;
    while (!newline && (in.pos < in.end || in_fill() > 0)) {
        const char *text = in.block + in.pos;
        size_t n = in.end - in.pos;
        const char *nl = static_cast<const char *>(memchr(text, '\n', n));
        if (nl) {
            n = static_cast<size_t>(nl - text);
            newline = 1;
        }
        in.pos += n + static_cast<size_t>(newline);
        if (drop == drop_none && memchr(text, '\0', n))
            drop = drop_nul;
        else if (drop == drop_none && i + static_cast<long>(n) > line_max)
            drop = drop_long;
        if (drop != drop_none)
            continue;  // skip to the end of the line
        if (i + static_cast<long>(n) > max_buff_size - 1) {
            while (i + static_cast<long>(n) > max_buff_size - 1)
                max_buff_size *= 2;
            buff = static_cast<char *>(mem_realloc(buff, max_buff_size));
        }
        memcpy(buff + i, text, n);
        i += static_cast<long>(n);
    }
    if (drop != drop_none) {
        if (drop == drop_nul)
            fputs("Error: line holds a NUL byte; skipped.\n", stderr);
        else
            fprintf(stderr, "Error: line longer than %ld characters; skipped.\n",
                    line_max);
        free(buff);
        max_buff_size = buff_first_size;
        buff = static_cast<char *>(mem_malloc(max_buff_size));
        i = 0;
    }
    buff[i] = '\0';
    buff_len = i;
    *buffptr = buff;
    *size = static_cast<int>(max_buff_size);
    if (newline)
        return st_exe_cont;
    return i > 0 && !stdin_tty ? st_exe_fin : st_fin;
}

void mem_free(char **buff, word_list **wl)
{
    if (*buff) {
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
        if (ferror(stdout))
            fatal(1, "husk: write error");
        return;
    }
    *wl = word_list_from_buff(buff);
    exec_word_list_handle(*wl);
}

void loop(void)
{
    int fin_flag = 0;
    int tty = isatty(0);
    int max_buff_size = 0, err_pos = 0, err_symcnt = 0;
    char *buff = nullptr;
    word_list *wl = nullptr;
    syntax_scan scan = {};
    stdin_tty = tty;
    in.pos = in.end = 0;
    in.eof = 0;
    // A token listing is written in large blocks: a few system calls per
    // megabyte rather than hundreds.
    static char out_block[1 << 16];
    if (only_print_tokens && !isatty(1))
        setvbuf(stdout, out_block, _IOFBF, sizeof out_block);
    while (!fin_flag) {
        if (!buff) {
            scan = {};
            if (!only_print_tokens)
                proc_finished_handle();
        } else if (scan.op_len) {
            // An operator at the end of the line never joins the first
            // characters of the next line: `ls |` and `| wc` are not
            // `ls ||wc`.
            in_unread_blank();
        }
        input_state input_st = read_loop(&buff, &max_buff_size);
        if (input_st == st_fin) {
            if (tty)
                puts("");
            mem_free(&buff, &wl);
            break;
        }
        if (input_st == st_exe_fin)
            fin_flag = 1;
        if (buff[0] == '\0')  // empty, or dropped for its length
            scan = {};
        syntax_state res = syntax_handle_from(buff, &scan, &err_pos, &err_symcnt);
        if (res == syntax_cont_read && fin_flag) {
            // No more input will come. A trailing backslash has just become
            // a blank, so one more check decides; anything else is a line
            // left unfinished, which is not run.
            res = syntax_handle_from(buff, &scan, &err_pos, &err_symcnt);
            if (res == syntax_cont_read)
                fputs("Error: unexpected end of input.\n", stderr);
        }
        if (res == syntax_cont_read && !fin_flag)
            continue;
        if (res == syntax_err) {
            char *errtok = static_cast<char *>(mem_calloc(err_symcnt + 1, 1));
            memcpy(errtok, buff + err_pos, err_symcnt);
            fprintf(stderr, "Error: '%s' is unexpected.\n", errtok);
            free(errtok);
        } else if (res == syntax_ok) {
            line_handle(buff, &wl);
        }
        mem_free(&buff, &wl);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && strcmp(argv[1], "-s") == 0)
        only_print_tokens = 1;
    if (!getcwd(cur_path, sizeof cur_path))
        perror(nullptr);
    loop();
    // Output that could not be written is lost: say so, never succeed.
    if (fflush(stdout) != 0)
        perror("husk: write error");
    else if (ferror(stdout))
        fputs("husk: write error.\n", stderr);
    else
        return 0;
    return 1;
}
