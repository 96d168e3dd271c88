// launch.h - the executor's one contact with processes: starting a program
// with a descriptor pair on its standard input and output, and waiting for
// the programs it started. A fuzz build links a recording stand-in for
// launch.cpp, so every other step of the executor runs as in the shell.
#ifndef HUSK_LAUNCH_H
#define HUSK_LAUNCH_H

#include <sys/types.h>

// Starts the program `argv[0]` (searched in the path when it holds no
// slash) with the arguments `argv`, `cmd_fd[0]` on its descriptor 0 and
// `cmd_fd[1]` on its descriptor 1 where they are not -1, and gives its
// process id. The pair is left open: closing the shell's copies is the
// caller's. A child that cannot run its program reports it on standard
// error and ends with status 1. A failed fork ends the shell.
pid_t spawn_argv(char **argv, const int *cmd_fd);

// Waits for the child `pid` to end and gives its exit status, or -1 when
// a signal ended it (or it cannot be waited for).
int spawn_wait(pid_t pid);

// Collects, without blocking, every child that has ended. Gives 0 when the
// shell has no child left, 1 otherwise.
int spawn_collect(void);

#endif
