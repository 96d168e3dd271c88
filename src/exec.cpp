// exec.cpp - runs the token list of one line: cuts it into commands, opens
// their redirections, connects them with pipes, starts them and waits.
//
// Every descriptor the shell opens is close-on-exec and numbered 3 or
// above, so a program receives only the copies placed on its descriptors 0
// and 1, and nothing of the shell's ever sits where a program or the shell
// itself expects its standard streams. The shell's copies are closed as
// soon as the command has been started (or has run, for `cd` and for a
// command without words), so a reader sees the end of its pipe when the
// writer ends and nothing piles up in the shell.
#include "exec.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "char.h"
#include "out.h"
#include "launch.h"

namespace {

// How a redirection opens its file.
typedef enum def_fd_opt {
    opt_err = 0,  // not a redirection kind
    opt_r = 1,    // <: read
    opt_rr = 2,   // <<: selects standard input but cannot be opened
    opt_w = 3,    // >: create or truncate, write
    opt_a = 4,    // >>: create or append
} fd_opt;

// Set when a child was started that nobody waits for by its process id (a
// background command, or a stage of a pipeline sent to the background), and
// cleared once the system reports that no child is left: until then the
// shell asks for finished children before each line, and after that it
// makes no such call at all.
int bg_unreaped;

// Process ids of the pipeline stages of one line that are still to be
// collected.
typedef struct def_proc_list {
    pid_t *pids;  // null until the first stage
    int cnt;      // stages to collect
    int size;     // capacity of `pids`
} proc_list;

// What the list runner carries from one command of a line to the next.
typedef struct def_run_state {
    int cmd_fd[2];        // the pair of the current command, which owns both
                          // entries until its launch closes them
    int pipe_fd_next[2];  // the pipe the current command feeds: [0] its read
                          // end, owned here; [1] is handed to the pair at
                          // once and holds -1 from then on
    int pipe_fd_prev[2];  // the pipe the previous command fed: [0] its read
                          // end, owned here until the command after it takes
                          // it; [1] always -1
    delim prev_cmd_dl;    // what ended the previous command; delim_err first
    int cmd_res;          // result of the last command that ran; 0 is success
    int background;       // the current pipeline ends with &
    proc_list stages;     // stages started and not yet collected
} run_state;

// Moves a descriptor the shell opened for itself off 0, 1 and 2, which the
// system hands out when the shell was started with one of them closed: a
// message meant for standard error must never land in a redirection file.
// Gives the new descriptor, or -1 with errno set when none is free.
int fd_lift(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    int high = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int err = errno;
    close(fd);
    errno = err;
    return high;
}

void fd_close(int *fd)
{
    if (*fd >= 0)
        close(*fd);
    *fd = -1;
}

// Copies both entries of `src` into `dst` and empties `src`.
void fd_pipe_arr_move(int *src, int *dst)
{
    dst[0] = src[0];
    dst[1] = src[1];
    src[0] = src[1] = -1;
}

// The way a redirection of kind `dl` opens its file.
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

// 1 when the command after `prev_cmd_dl` runs given the last result: a
// command after && runs only on success (0), after || only on failure.
int is_cmd_should_exec(delim prev_cmd_dl, int prev_cmd_ret)
{
    if (prev_cmd_dl == delim_logical_or)
        return prev_cmd_ret != 0;
    if (prev_cmd_dl == delim_logical_and)
        return prev_cmd_ret == 0;
    return 1;
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
        fatal(1, nullptr, "get_file_fd: unknown redir_option.\n");
    }
    return fd_lift(open(fname, flags, 0666));
}

// Opens the file of one redirection and installs it in the command's pair,
// closing what the entry held before (an earlier redirection of the same
// direction, or the read end of the pipe from the previous command).
void word_delim_handle(const char *fname, delim dl, int *cmd_fd)
{
    fd_opt opt = delim_name_to_fd_opt(dl);
    int fd = get_file_fd(fname, opt);
    if (fd == -1)
        fatal(2, fname);
    int *entry = &cmd_fd[opt == opt_r ? 0 : 1];
    fd_close(entry);
    *entry = fd;
}

// The kind of the operator word `w`, and whether it redirects the command
// (`*redirects` 1: the next word is a file name) or ends it (0).
delim word_delim_kind(const word *w, int *redirects)
{
    int len = static_cast<int>(strlen(w->str));
    delim kind = delim_err;
    *redirects = is_word_delim(w->str, len, &kind);
    if (!*redirects)
        is_cmd_delim(w->str, len, &kind);
    return kind;
}

// Cuts the command that starts at `head`: counts its argument words into
// `*cmd_len`, stores the delimiter that ends it in `*dl` (delim_err at the
// end of the list) and returns the first token of the next command. The
// redirections are opened into `cmd_fd`; a null `cmd_fd` (a command that is
// skipped) opens none, so a skipped command never touches a file. The
// syntax check has made sure that a file name follows every redirection.
word *cmd_process(word *head, int *cmd_len, int *cmd_fd, delim *dl)
{
    *cmd_len = 0;
    *dl = delim_err;
    int was_delim = 0;
    for (word *w = head; w; w = w->next) {
        if (w->is_delim) {
            was_delim = 1;
            int redirects;
            delim kind = word_delim_kind(w, &redirects);
            if (!redirects) {
                *dl = kind;
                return w->next;
            }
            if (cmd_fd)
                word_delim_handle(w->next->str, kind, cmd_fd);
        }
        if (!was_delim)
            (*cmd_len)++;
    }
    return nullptr;
}

// Makes a close-on-exec pipe whose two ends are moved off 0, 1 and 2
// (fd_lift). Gives 0, or -1 with errno set.
int pipe_lifted(int *pipe_fd)
{
    if (pipe2(pipe_fd, O_CLOEXEC) == -1)
        return -1;
    pipe_fd[0] = fd_lift(pipe_fd[0]);
    if (pipe_fd[0] == -1)
        return -1;
    pipe_fd[1] = fd_lift(pipe_fd[1]);
    return pipe_fd[1] == -1 ? -1 : 0;
}

// Sets whether the shell waits for the command and, for a command that
// feeds a pipe, makes the pipe unless its output is already redirected.
void cmd_delim_handle_before_exec(delim dl, int *flag_wait, int *cmd_fd, int *pipe_fd)
{
    *flag_wait = 1;
    if (dl == delim_pipe) {
        if (cmd_fd[1] == -1) {
            if (pipe_lifted(pipe_fd) == -1)
                fatal(1, "cmd_delim_handle");
            cmd_fd[1] = pipe_fd[1];  // the pair owns the write end now
            pipe_fd[1] = -1;
        }
        *flag_wait = 0;
    } else if (dl == delim_ampersand) {
        *flag_wait = 0;
    }
}

// Remembers a pipeline stage that started the child `child`.
void proc_list_add(proc_list *procs, pid_t child)
{
    if (procs->cnt == procs->size) {
        procs->size = procs->size ? procs->size * 2 : 16;
        procs->pids = static_cast<pid_t *>(
            mem_realloc(procs->pids, static_cast<size_t>(procs->size) * sizeof(pid_t)));
    }
    procs->pids[procs->cnt++] = child;
}

// Collects every remembered stage by its own process id.
void proc_list_wait(proc_list *procs)
{
    for (int i = 0; i < procs->cnt; i++)
        spawn_wait(procs->pids[i]);
    procs->cnt = 0;
}

// Accounts for the pipeline stages once a command ended by `dl` has been
// launched (`child` > 0 when it started one). A command ended by & puts its
// whole pipeline in the background: neither it nor the stages that feed it
// are ever waited for (they are collected once they have ended, before a
// later line). A stage that feeds a pipe is remembered; a waited command
// collects the stages remembered before it.
void proc_wait_later_handle(proc_list *procs, delim dl, int flag_wait, pid_t child)
{
    if (dl == delim_ampersand) {
        if (child > 0 || procs->cnt > 0)
            bg_unreaped = 1;
        procs->cnt = 0;
    } else if (!flag_wait) {
        if (child > 0)
            proc_list_add(procs, child);
    } else {
        proc_list_wait(procs);
    }
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

// Starts an external program with the pair on its standard input and
// output, and gives its process id. Our copies of the pair go at once, or
// the reader of a pipe never sees its end.
pid_t fork_exec_argv(char **argv, int *cmd_fd)
{
    pid_t pid = spawn_argv(argv, cmd_fd);
    fd_close(&cmd_fd[0]);
    fd_close(&cmd_fd[1]);
    return pid;
}

// Runs one command: `cd` inside the shell, anything else in a child, which
// is waited for when `flag_wait` is set. Gives the command's result (for a
// child not waited for, 0) and, in `*child`, the process id of the child
// started, or 0 when none was.
int cmd_exec_handle(const word *head, int cmd_len, int flag_wait, int *cmd_fd,
                    pid_t *child)
{
    if (!head)
        fatal(1, nullptr, "cmd_exec_handle: Failed, no head.\n");
    *child = 0;
    char **argv = word_list_part_to_argv(head, cmd_len);
    int res = 0;
    if (argv && strcmp(argv[0], "cd") != 0) {
        *child = fork_exec_argv(argv, cmd_fd);
        if (flag_wait)
            res = spawn_wait(*child);
    } else {
        // `cd` and a command without words start no child; what they were
        // given (a pipe end, a redirection file) is released here.
        if (argv)
            res = chdir_handle(argv, cmd_len);
        fd_close(&cmd_fd[0]);
        fd_close(&cmd_fd[1]);
    }
    free(static_cast<void *>(argv));
    return res;
}

// 1 when the pipeline that starts at `head` is sent to the background: the
// first command delimiter after it that is not | is &.
int pipeline_is_background(const word *head)
{
    for (const word *w = head; w; w = w->next) {
        int redirects;
        delim dl = w->is_delim ? word_delim_kind(w, &redirects) : delim_err;
        if (dl != delim_err && !redirects && dl != delim_pipe)
            return dl == delim_ampersand;
    }
    return 0;
}

// Writes the launch result of a command that is not waited for as a line of
// its own: the process id of the child it started, or the result of `cd`
// or of a command without words.
void print_result_line(int res)
{
    char line[16];
    int n = snprintf(line, sizeof line, "%i\n", res);
    out_line(line, static_cast<size_t>(n));
}

// Launches a command that runs, cut at `head` with `cmd_len` words and
// ended by `cmd_dl`, and records its result.
void cmd_launch(run_state *rs, const word *head, int cmd_len, delim cmd_dl)
{
    // Only the first command of a pipeline in the foreground may read the
    // shell's own input: the next lines of a script, or what the user
    // types next, are for the shell. Any other command without input of
    // its own reads an empty one, in the background, and after a | whose
    // pipe was never made (the command before it was skipped, or wrote into
    // a file).
    if (rs->cmd_fd[0] == -1 && (rs->background || rs->prev_cmd_dl == delim_pipe))
        word_delim_handle("/dev/null", delim_redir_in, rs->cmd_fd);
    int flag_wait;
    cmd_delim_handle_before_exec(cmd_dl, &flag_wait, rs->cmd_fd, rs->pipe_fd_next);
    // A waited command is started before the pending stages are collected:
    // a stage may be blocked on a full pipe until its reader (this command)
    // runs.
    pid_t child;
    int res = cmd_exec_handle(head, cmd_len, flag_wait, rs->cmd_fd, &child);
    proc_wait_later_handle(&rs->stages, cmd_dl, flag_wait, child);
    if (!flag_wait)
        print_result_line(child ? child : res);
    rs->cmd_res = flag_wait ? res : 0;
    fd_pipe_arr_move(rs->pipe_fd_next, rs->pipe_fd_prev);
}

// Hands the pipe over to the command at `head`, decides whether it runs,
// cuts it, and launches it or skips it. Gives the first token of the next
// command.
word *cmd_step(run_state *rs, word *head)
{
    if (rs->prev_cmd_dl != delim_pipe)
        rs->background = pipeline_is_background(head);
    int flag_exec = 1;
    if (rs->prev_cmd_dl != delim_err) {
        // The read end travels to this command, which now owns it.
        if (rs->prev_cmd_dl == delim_pipe) {
            rs->cmd_fd[0] = rs->pipe_fd_prev[0];
            rs->pipe_fd_prev[0] = -1;
        }
        flag_exec = is_cmd_should_exec(rs->prev_cmd_dl, rs->cmd_res);
    }
    int cmd_len;
    delim cmd_dl;
    word *next_head =
        cmd_process(head, &cmd_len, flag_exec ? rs->cmd_fd : nullptr, &cmd_dl);
    if (flag_exec)
        cmd_launch(rs, head, cmd_len, cmd_dl);
    rs->cmd_fd[0] = rs->cmd_fd[1] = -1;
    rs->prev_cmd_dl = cmd_dl;
    return next_head;
}

}  // namespace

void proc_finished_handle(void)
{
    if (bg_unreaped)
        bg_unreaped = spawn_collect();
}

void exec_word_list_handle(word_list *list)
{
    if (!list || !list->head)
        return;
    run_state rs = {.cmd_fd = {-1, -1},
                    .pipe_fd_next = {-1, -1},
                    .pipe_fd_prev = {-1, -1},
                    .prev_cmd_dl = delim_err,
                    .cmd_res = 0,
                    .background = 0,
                    .stages = {.pids = nullptr, .cnt = 0, .size = 0}};
    for (word *head = list->head; head;)
        head = cmd_step(&rs, head);
    free(rs.stages.pids);
}
