// exec.cpp - runs the token list of one line: cuts it into commands, opens
// their redirections, connects them with pipes, starts them and waits.
//
// Every descriptor the shell opens is close-on-exec, so a program receives
// only the copies placed on its descriptors 0 and 1. The shell's copies are
// closed as soon as the command has been started (or has run, for `cd` and
// for a command without words), so a reader sees the end of its pipe when
// the writer ends and nothing piles up in the shell.
#include "exec.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "char.h"

// The prompt path belongs to the program's entry module; this weak stand-in
// lets the executor be linked into the unit tests without it.
[[gnu::weak]] char cur_path[4096];

namespace {

// Process ids of the pipeline stages of one line that are still to be
// collected.
typedef struct def_proc_list {
    pid_t *pids;  // null until the first stage
    int cnt;      // stages to collect
    int size;     // capacity of `pids`
} proc_list;

void fd_close(int *fd)
{
    if (*fd != -1) {
        close(*fd);
        *fd = -1;
    }
}

// Copies both entries of `src` into `dst` and empties `src`.
void fd_pipe_arr_move(int *src, int *dst)
{
    if (!src || !dst)
        return;
    dst[0] = src[0];
    dst[1] = src[1];
    src[0] = src[1] = -1;
}

int get_file_fd(const char *fname, fd_opt opt)
{
    int flags;
    switch (opt) {
    case opt_r:
        flags = O_RDONLY | O_CLOEXEC;
        break;
    case opt_w:
        flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
        break;
    case opt_a:
        flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
        break;
    default:
        fputs("get_file_fd: unknown redir_option.\n", stderr);
        exit(1);
    }
    return open(fname, flags, 0666);
}

// Opens the file of one redirection and installs it in the command's pair,
// closing what the entry held before (an earlier redirection of the same
// direction, or the read end of the pipe from the previous command).
void word_delim_handle(const char *fname, delim dl, int *cmd_fd)
{
    fd_opt opt = delim_name_to_fd_opt(dl);
    int fd = get_file_fd(fname, opt);
    if (fd == -1) {
        perror(fname);
        exit(2);
    }
    int *entry = &cmd_fd[opt == opt_r || opt == opt_rr ? 0 : 1];
    fd_close(entry);
    *entry = fd;
}

// Cuts the command that starts at `head`: counts its argument words into
// `*cmd_len`, stores the delimiter that ends it in `*dl` (delim_err at the
// end of the list) and returns the first token of the next command. The
// redirections are opened into `cmd_fd`; a null `cmd_fd` (a command that is
// skipped) opens none, so a skipped command never touches a file.
word *cmd_process(word *head, int *cmd_len, int *cmd_fd, delim *dl)
{
    *cmd_len = 0;
    *dl = delim_err;
    int was_delim = 0;
    for (word *w = head; w; w = w->next) {
        if (w->is_delim) {
            was_delim = 1;
            int len = static_cast<int>(strlen(w->str));
            delim kind;
            if (is_word_delim(w->str, len, &kind)) {
                if (cmd_fd && w->next)
                    word_delim_handle(w->next->str, kind, cmd_fd);
            } else if (is_cmd_delim(w->str, len, dl)) {
                return w->next;
            }
        }
        if (!was_delim)
            (*cmd_len)++;
    }
    return nullptr;
}

// Sets whether the shell waits for the command and, for a command that
// feeds a pipe, makes the pipe unless its output is already redirected.
void cmd_delim_handle_before_exec(delim dl, int *flag_wait, int *cmd_fd,
                                  int *pipe_fd)
{
    *flag_wait = 1;
    if (dl == delim_pipe) {
        if (cmd_fd[1] == -1) {
            if (pipe2(pipe_fd, O_CLOEXEC) == -1) {
                perror("cmd_delim_handle");
                exit(1);
            }
            cmd_fd[1] = pipe_fd[1];
        }
        *flag_wait = 0;
    } else if (dl == delim_ampersand) {
        *flag_wait = 0;
    }
}

// Remembers a pipeline stage that started a child (`pid` > 0), or, for a
// waited command, collects every remembered stage by its own process id.
// A command ended by & puts its whole pipeline in the background: neither
// it nor the stages that feed it are ever waited for (they are collected
// once they have ended, before a later line).
void proc_wait_later_handle(proc_list *procs, delim dl, int flag_wait,
                            pid_t pid)
{
    if (dl == delim_ampersand) {
        procs->cnt = 0;
        return;
    }
    if (!flag_wait) {
        if (pid <= 0)
            return;
        if (procs->cnt == procs->size) {
            procs->size = procs->size ? procs->size * 2 : 16;
            procs->pids = static_cast<pid_t *>(mem_realloc(
                procs->pids, static_cast<size_t>(procs->size) * sizeof(pid_t)));
        }
        procs->pids[procs->cnt++] = pid;
        return;
    }
    for (int i = 0; i < procs->cnt; i++)
        while (waitpid(procs->pids[i], nullptr, 0) == -1 && errno == EINTR) {
        }
    procs->cnt = 0;
}

// The `cd` built-in: no argument goes to $HOME. Gives 0 on success, -1 when
// the directory cannot be entered, 1 for too many arguments.
int chdir_handle(char **argv, int cmd_len)
{
    if (cmd_len > 2) {
        fputs("cd: Too many arguments.\n", stderr);
        return 1;
    }
    const char *target = cmd_len == 1 ? getenv("HOME") : argv[1];
    if (!target) {
        errno = EFAULT;  // no HOME: reported like a bad address
        perror(argv[0]);
        return -1;
    }
    if (chdir(target) == -1) {
        perror(argv[0]);
        return -1;
    }
    if (!getcwd(cur_path, sizeof cur_path))
        perror(nullptr);
    return 0;
}

// Starts the program in a child that borrows the shell's memory until it
// has called exec (vfork), so no copy of the shell is made. The child may
// only make calls that are safe there: it moves the pair onto descriptors 0
// and 1, calls execvp (which searches the path on the stack, as the C
// library's own spawning does) and, when the program cannot be run, writes
// the command name and the reason without the standard streams and ends
// with status 1. A failed fork ends the shell.
pid_t spawn_argv(char **argv, const int *cmd_fd)
{
    pid_t pid = vfork();
    if (pid == -1) {
        perror("fork");
        exit(1);
    }
    if (pid > 0)
        return pid;
    for (int i = 0; i < 2; i++) {
        if (cmd_fd[i] == i)  // already in place: only keep it open
            fcntl(i, F_SETFD, 0);
        else if (cmd_fd[i] != -1)
            dup2(cmd_fd[i], i);
    }
    execvp(argv[0], argv);
    const char *why = strerrordesc_np(errno);
    if (!why)
        why = "Unknown error";
    iovec msg[] = {{argv[0], strlen(argv[0])},
                   {const_cast<char *>(": "), 2},
                   {const_cast<char *>(why), strlen(why)},
                   {const_cast<char *>("\n"), 1}};
    ssize_t written = writev(2, msg, 4);
    (void)written;  // if even that fails, the status still tells
    _exit(1);
}

// Starts an external program with the pair on its standard input and
// output. With `flag_wait` > 0 gives its exit status (-1 when a signal
// ended it), otherwise its process id.
int fork_exec_argv(char **argv, int *cmd_fd, int flag_wait)
{
    if (!argv || !argv[0])
        return 0;
    pid_t pid = spawn_argv(argv, cmd_fd);
    // Our copies must go now, or the reader of a pipe never sees its end.
    fd_close(&cmd_fd[0]);
    fd_close(&cmd_fd[1]);
    if (flag_wait <= 0)
        return pid;
    int status = 0;
    while (waitpid(pid, &status, 0) == -1) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs one command: `cd` inside the shell, anything else in a child.
int cmd_exec_handle(word *head, int cmd_len, int flag_wait, int *cmd_fd)
{
    if (!head) {
        fputs("cmd_exec_handle: Failed, no head.\n", stderr);
        exit(1);
    }
    char **argv = word_list_part_to_argv(head, cmd_len);
    int res = 0;
    if (argv && strcmp(argv[0], "cd") == 0)
        res = chdir_handle(argv, cmd_len);
    else if (argv)
        res = fork_exec_argv(argv, cmd_fd, flag_wait);
    // `cd` and a command without words start no child; what they were
    // given (a pipe end, a redirection file) is released here.
    fd_close(&cmd_fd[0]);
    fd_close(&cmd_fd[1]);
    free(argv);
    return res;
}

}  // namespace

fd_opt delim_name_to_fd_opt(delim dl)
{
    switch (dl) {
    case delim_redir_in:
        return opt_r;
    case delim_redir_out:
        return opt_w;
    case delim_redir_in2:
        return opt_rr;
    case delim_redir_out2:
        return opt_a;
    default:
        return opt_err;
    }
}

int is_cmd_should_exec(delim prev_cmd_dl, int prev_cmd_ret)
{
    if (prev_cmd_dl == delim_logical_or)
        return prev_cmd_ret != 0;
    if (prev_cmd_dl == delim_logical_and)
        return prev_cmd_ret == 0;
    return 1;
}

char **word_list_part_to_argv(word *head, int len)
{
    if (!head || len < 0) {
        fputs("word_list_part_to_argv: wrong arg!\n", stderr);
        exit(1);
    }
    if (len == 0)
        return nullptr;
    char **argv = static_cast<char **>(
        mem_calloc(static_cast<size_t>(len) + 1, sizeof(char *)));
    word *w = head;
    for (int i = 0; i < len; i++, w = w->next) {
        if (!w) {
            fputs("word_list_part_to_argv: len > actual size\n", stderr);
            exit(1);
        }
        argv[i] = w->str;
    }
    return argv;
}

void proc_finished_handle(void)
{
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

void exec_word_list_handle(word_list *list)
{
    if (!list || !list->head)
        return;
    int cmd_fd[2] = {-1, -1};
    int pipe_fd_next[2] = {-1, -1};
    int pipe_fd_prev[2] = {-1, -1};
    delim cmd_dl = delim_err, prev_cmd_dl = delim_err;
    int cmd_len = 0, cmd_res = 0, flag_wait = 1, flag_exec = 1;
    proc_list stages = {nullptr, 0, 0};
    for (word *head = list->head, *next_head; head; head = next_head) {
        if (prev_cmd_dl != delim_err) {
            // The read end travels to this command, which now owns it.
            if (prev_cmd_dl == delim_pipe && pipe_fd_prev[0] != -1) {
                cmd_fd[0] = pipe_fd_prev[0];
                pipe_fd_prev[0] = -1;
            }
            flag_exec = is_cmd_should_exec(prev_cmd_dl, cmd_res);
        }
        next_head = cmd_process(head, &cmd_len, flag_exec ? cmd_fd : nullptr,
                                &cmd_dl);
        if (flag_exec) {
            cmd_delim_handle_before_exec(cmd_dl, &flag_wait, cmd_fd,
                                         pipe_fd_next);
            int starts_child = cmd_len > 0 && strcmp(head->str, "cd") != 0;
            // A waited command is started before the pending stages are
            // collected: a stage may be blocked on a full pipe until its
            // reader (this command) runs.
            cmd_res = cmd_exec_handle(head, cmd_len, flag_wait, cmd_fd);
            proc_wait_later_handle(&stages, cmd_dl, flag_wait,
                                   starts_child ? cmd_res : 0);
            if (!flag_wait) {
                printf("%i\n", cmd_res);
                cmd_res = 0;
            }
            fd_pipe_arr_move(pipe_fd_next, pipe_fd_prev);
        }
        cmd_fd[0] = cmd_fd[1] = -1;
        prev_cmd_dl = cmd_dl;
        flag_exec = 1;
    }
    free(stages.pids);
}
