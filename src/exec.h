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

#endif
