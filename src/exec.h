// exec.h - command execution: runs the token list of one line.
#ifndef HUSK_EXEC_H
#define HUSK_EXEC_H

#include "define.h"
#include "word.h"

// The working directory shown in the prompt, NUL-terminated; `cd` refreshes
// it. Defined by the program's entry module.
extern char cur_path[4096];

// Runs the commands of one line: sequences (;), background commands (&),
// conditions (&& ||), pipes (|), redirections (< > >>) and `cd`. Returns
// once the commands the line waits for have ended. The process id of every
// command it does not wait for is printed on standard output. A null or
// empty list does nothing; the list is neither kept nor freed. Ends the
// shell on a fatal failure (a redirection file that cannot be opened,
// `<<`, a failed fork or pipe).
void exec_word_list_handle(word_list *list);

// Collects, without blocking and without a message, every child that has
// ended and that nobody waits for (background commands), so that none
// lingers as a zombie. Called before each new command line is read; makes
// no system call until the shell has started such a child.
void proc_finished_handle(void);

// Steps of the executor that can be used alone; the tests call them.

// How a redirection opens its file.
typedef enum def_fd_opt {
    opt_err = 0,  // not a redirection kind
    opt_r = 1,    // <: read
    opt_rr = 2,   // <<: selects standard input but cannot be opened
    opt_w = 3,    // >: create or truncate, write
    opt_a = 4,    // >>: create or append
} fd_opt;

fd_opt delim_name_to_fd_opt(delim dl);

// 1 when the command after `prev_cmd_dl` runs given the last result: a
// command after && runs only on success (0), after || only on failure.
int is_cmd_should_exec(delim prev_cmd_dl, int prev_cmd_ret);

#endif
