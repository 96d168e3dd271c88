// launch.cpp - starting programs with vfork and execvp, and waiting for them.
#include "launch.h"

#include <cerrno>
#include <cstring>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "define.h"

namespace {

// Ends a launched child that cannot run its program: writes the command
// name and the reason for errno, as perror would (an empty name gets no ": "
// in front of the reason), without the standard streams, which the child
// shares with the shell, and ends it with status 1.
[[noreturn]] void child_fail(const char *name)
{
    const char *why = strerrordesc_np(errno);
    if (!why)
        why = "Unknown error";
    size_t name_len = strlen(name);
    iovec msg[] = {{const_cast<char *>(name), name_len},
                   {const_cast<char *>(": "), name_len ? 2U : 0U},
                   {const_cast<char *>(why), strlen(why)},
                   {const_cast<char *>("\n"), 1}};
    ssize_t written = writev(2, msg, 4);
    (void)written;  // if even that fails, the status still tells
    _exit(1);
}

}  // namespace

// The child borrows the shell's memory until it has called exec (vfork), so
// no copy of the shell is made. It may only make calls that are safe there:
// it moves the pair onto descriptors 0 and 1, calls execvp (which searches
// the path on the stack, as the C library's own spawning does) and, when
// the program cannot be run, writes its message and ends (child_fail).
pid_t spawn_argv(char **argv, const int *cmd_fd)
{
    pid_t pid = vfork();
    if (pid == -1)
        fatal(1, "fork");
    if (pid > 0)
        return pid;
    // The pair never holds 0, 1 or 2, so each dup2 makes a copy that stays
    // open across exec. A program must never run with the shell's own input
    // or output in place of the ones it was given.
    for (int i = 0; i < 2; i++)
        if (cmd_fd[i] != -1 && dup2(cmd_fd[i], i) == -1)
            child_fail(argv[0]);
    execvp(argv[0], argv);
    child_fail(argv[0]);
}

int spawn_wait(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) == -1) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int spawn_collect(void)
{
    pid_t pid;
    while ((pid = waitpid(-1, nullptr, WNOHANG)) > 0) {
    }
    return pid != -1 || errno != ECHILD;
}
