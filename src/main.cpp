// main.cpp - program entry and the read, check, run cycle.
#include <cstdio>
#include <cstring>
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

void print_invitation(void)
{
    printf("%s> ", cur_path);
}

// Takes from the input stream the characters up to the next newline (which
// is consumed and not stored) or the end of input, and calls `take` with
// each run of them. Reads the stream's own buffer where it can, so a long
// line costs a few block copies rather than a call per character; the
// stream stays positioned exactly after the newline, for the programs that
// read descriptor 0 after us. Answers the character that stopped it:
// '\n' or EOF.
template <typename Take> int stream_read_line(Take take)
{
    for (;;) {
#ifdef __GLIBC__
        char *p = stdin->_IO_read_ptr, *end = stdin->_IO_read_end;
        if (p < end) {
            char *nl = static_cast<char *>(memchr(p, '\n', end - p));
            take(p, (nl ? nl : end) - p);
            stdin->_IO_read_ptr = nl ? nl + 1 : end;
            if (nl)
                return '\n';
            continue;
        }
#endif
        int c = getc_unlocked(stdin);
        if (c == EOF || c == '\n')
            return c;
        char ch = static_cast<char>(c);
        take(&ch, 1);
    }
}

// Reads one input line onto the end of the buffer `*buffptr` (a new one
// when it is null), growing it by doubling. Answers what ended the line.
input_state read_loop(char **buffptr, int *size)
{
    if (!buffptr)
        return st_fin;
    char *buff = *buffptr;
    long max_buff_size = buff_first_size;
    long i = 0;
    if (!buff)
        buff = static_cast<char *>(mem_malloc(max_buff_size));
    else {
        max_buff_size = *size;
        i = static_cast<long>(strlen(buff));
    }
    if (stdin_tty)
        print_invitation();
    int too_long = 0;
    int c = stream_read_line([&](const char *text, long n) {
        if (too_long || i + n > line_max) {
            too_long = 1;  // skip to the end of the line
            return;
        }
        if (i + n > max_buff_size - 1) {
            while (i + n > max_buff_size - 1)
                max_buff_size *= 2;
            buff = static_cast<char *>(mem_realloc(buff, max_buff_size));
        }
        memcpy(buff + i, text, n);
        i += n;
    });
    if (too_long) {
        fprintf(stderr, "Error: line longer than %ld characters; skipped.\n",
                line_max);
        free(buff);
        max_buff_size = buff_first_size;
        buff = static_cast<char *>(mem_malloc(max_buff_size));
        i = 0;
    }
    buff[i] = '\0';
    *buffptr = buff;
    *size = static_cast<int>(max_buff_size);
    if (c == '\n')
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
    stdin_tty = tty;
    // A script is read, and a token listing written, in large blocks: a few
    // system calls per megabyte rather than hundreds. The input stream reads
    // ahead either way.
    static char in_block[1 << 16], out_block[1 << 16];
    if (!tty)
        setvbuf(stdin, in_block, _IOFBF, sizeof in_block);
    if (only_print_tokens && !isatty(1))
        setvbuf(stdout, out_block, _IOFBF, sizeof out_block);
    while (!fin_flag) {
        if (!buff && !only_print_tokens)
            proc_finished_handle();
        input_state input_st = read_loop(&buff, &max_buff_size);
        if (input_st == st_fin) {
            if (tty)
                puts("");
            mem_free(&buff, &wl);
            break;
        }
        if (input_st == st_exe_fin)
            fin_flag = 1;
        syntax_state res = syntax_handle(buff, &err_pos, &err_symcnt);
        if (res == syntax_cont_read && fin_flag) {
            // No more input will come. A trailing backslash has just become
            // a blank, so one more check decides; anything else is a line
            // left unfinished, which is not run.
            res = syntax_handle(buff, &err_pos, &err_symcnt);
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
