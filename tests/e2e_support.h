// e2e_support.h - runs the built shell as a user would, with a script on a
// pipe, and collects what it wrote and how it ended; and the one table form
// of every end-to-end test: a row per script, checked by check_rows.
#ifndef HUSK_E2E_SUPPORT_H
#define HUSK_E2E_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace husk_test {

// The shell under test, from the build (HUSK_BIN).
inline std::string husk_bin()
{
    const char *p = getenv("HUSK_BIN");
    return p ? p : "husk";
}

// Every run gets the same search path and home, whatever the caller's: a
// directory on the caller's PATH that may not be read, for one, would turn
// "No such file or directory" for a missing program into "Permission denied".
inline void set_fixed_env()
{
    setenv("PATH", "/usr/bin:/bin", 1);
    setenv("HOME", "/", 1);
}

// Every time limit of the end-to-end tests (a run's timeout_ms, the
// terminal tests' waits, the probe's) is multiplied by
// HUSK_TEST_TIMEOUT_FACTOR, a whole number, default 1, for machines slower
// or busier than these limits allow for. No test waits for a time to pass:
// a limit only ends a run that hangs.
inline int timeout_factor()
{
    const char *f = getenv("HUSK_TEST_TIMEOUT_FACTOR");
    int n = f ? atoi(f) : 1;
    return n > 0 ? n : 1;
}

struct run_result {
    std::string out;          // everything written on standard output
    std::string err;          // everything written on standard error
    int status = -1;          // exit status, or 128 + signal number
    bool timed_out = false;   // killed after the time limit
    bool not_started = false; // the run could not be set up; `err` says why
    int torn_writes = 0;      // with stdout_packets: writes that end inside a line
};

struct run_opts {
    std::vector<std::string> args{}; // after the program name, e.g. {"-s"}
    std::vector<std::string> env{};  // NAME=value to set, or NAME to unset
    bool as_nobody = false;          // when root, run as nobody, so that permissions hold
    rlim_t nofile = 0;               // RLIMIT_NOFILE when not 0
    rlim_t nproc = 0;                // RLIMIT_NPROC when not 0
    bool sigpipe_ignored = false;    // start with SIGPIPE ignored, as some callers leave it
    std::string out_path{};          // a file for standard output instead of the pipe
    bool close_stdout_early = false; // the reader of stdout goes away at once
    bool stdout_slow = false;        // stdout is left non-blocking, its reader slow: see husk_run
    bool stdout_packets = false;     // stdout keeps each write apart (a packet socket)
    std::string stdin_path{};        // when set, a file the shell reads, not `input`
    std::string feed{};              // when set, a sh command, run in `cwd`, whose output
                                     // the shell reads, not `input`: see slowly()
    bool stdin_nonblock = false;     // the shell's input is left non-blocking
    bool stderr_closed = false;      // the shell starts with descriptor 2 closed
    bool dup2_fails = false;         // every dup2 of the shell and its children fails
    std::string cwd{};               // working directory; empty: unchanged
    int timeout_ms = 20000;          // the run is killed after this, times timeout_factor()
};

// Input that comes slowly, in steps that wait for the shell: a feed (a sh
// command) that sends `parts` one after the other, each part but the last
// holding a command `true > sync` where the shell must be when the next
// part comes. The feeder makes the FIFO `sync` in the row's directory and
// opens it for reading before each next part; the shell's `true > sync`
// opens it for writing, and each open waits for the other. So the next part
// is sent only once the shell runs that command, and the shell's reads so
// far took only the parts before. A program in the foreground after it gets
// the next part, if it reads the shell's input:
//   {.run = {.feed = slowly({"true > sync; head -n 1\n", "echo next\necho after\n"})},
//    .out = "echo next\n"}
// A background program may not have reached its first read by then: wait
// first for what it must have done (Exec.Operators waits until the shell's
// children have ended). A shell that never runs the command leaves the
// feeder waiting, and the run times out.
inline std::string slowly(const std::vector<std::string> &parts)
{
    std::string sh = "mkfifo sync";
    for (size_t i = 0; i < parts.size(); i++) {
        std::string quoted;
        for (char c : parts[i])
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        sh += std::string(i ? " && : < sync" : "") + " && printf %s '" + quoted + "'";
    }
    return sh;
}

// A command that runs until the harness ends it, holding none of the
// shell's output: for rows that need children that stay.
inline const std::string idle = "sh -c 'exec sleep 1000 > /dev/null 2>&1'";

inline long now_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000;
}

// A step of the child before the shell runs failed: says so on standard
// error and ends with status 125. A step this machine cannot do (`skip`:
// becoming nobody, a limit, a system call filter) makes the row one that
// is skipped, which the parent recognises by the "harness: not possible here: "
// start; any other failed step is a failure of the row.
[[noreturn]] inline void harness_fail(const std::string &what, bool skip = false)
{
    dprintf(2, "harness: %s%s: %s\n", skip ? "not possible here: " : "", what.c_str(), strerror(errno));
    _exit(125);
}

// Makes every dup2 and dup3 of this process and its children fail with
// EBADF, which nothing else makes happen to the copies a launch puts on a
// program's descriptors 0 and 1.
inline void deny_dup2()
{
#ifdef __NR_dup2
    constexpr unsigned dup_nr = __NR_dup2;
#else
    constexpr unsigned dup_nr = __NR_dup3;
#endif
    sock_filter f[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, dup_nr, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_dup3, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EBADF),
    };
    sock_fprog prog = {static_cast<unsigned short>(sizeof f / sizeof f[0]), f};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog))
        harness_fail("seccomp", true);
}

// The child's part of husk_run: the descriptors, directory, environment,
// user, limits and signal disposition the options ask for, then the shell.
[[noreturn]] inline void start_shell(const run_opts &o, int in, int out, int err)
{
    if (dup2(in, 0) == -1 || dup2(out, 1) == -1 || dup2(err, 2) == -1)
        harness_fail("dup2");
    if (!o.cwd.empty() && chdir(o.cwd.c_str()) != 0)
        harness_fail(o.cwd);
    if (!o.stdin_path.empty() && dup2(open(o.stdin_path.c_str(), O_RDONLY), 0) == -1)
        harness_fail(o.stdin_path);
    if (o.stdin_nonblock && fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK) == -1)
        harness_fail("O_NONBLOCK");
    set_fixed_env();
    // A sanitizer build's leak check at exit needs free descriptors and a
    // helper task of its own: a run that uses up either goes without it.
    if (o.nofile || o.nproc) {
        const char *asan = getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
    }
    for (const std::string &e : o.env) {
        size_t eq = e.find('=');
        if (eq == std::string::npos)
            unsetenv(e.c_str());
        else
            setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
    }
    int fd = o.out_path.empty() ? 1 : open(o.out_path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd == -1 || dup2(fd, 1) == -1)
        harness_fail(o.out_path);
    if (o.stdout_slow && fcntl(1, F_SETFL, fcntl(1, F_GETFL) | O_NONBLOCK) == -1)
        harness_fail("O_NONBLOCK");
    // Only 0, 1 and 2 go to the shell, whatever the test process holds.
    close_range(3, ~0U, 0);
    // Opened while still root, so that nobody can run it even from a build
    // directory nobody may enter.
    std::string bin = husk_bin();
    int exe = open(bin.c_str(), O_RDONLY | O_CLOEXEC);
    if (exe == -1)
        harness_fail(bin);
    constexpr uid_t nobody = 65534;
    if (o.as_nobody && getuid() == 0 &&
        (setgroups(0, nullptr) || setgid(nobody) || setuid(nobody)))
        harness_fail("become nobody", true);
    rlimit nofile = {o.nofile, o.nofile}, nproc = {o.nproc, o.nproc};
    if ((o.nofile && setrlimit(RLIMIT_NOFILE, &nofile)) ||
        (o.nproc && setrlimit(RLIMIT_NPROC, &nproc)))
        harness_fail("setrlimit", true);
    // The test ignores SIGPIPE; the shell gets the disposition asked for.
    signal(SIGPIPE, o.sigpipe_ignored ? SIG_IGN : SIG_DFL);
    if (o.stderr_closed)
        close(2);
    std::vector<std::string> args = o.args;
    std::vector<char *> argv{bin.data()};
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (o.dup2_fails)
        deny_dup2();
    fexecve(exe, argv.data(), environ);
    harness_fail(bin);
}

inline std::string read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void write_file(const std::string &path, const std::string &text)
{
    std::ofstream f(path, std::ios::binary);
    f << text;
}

inline bool file_exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// For a slow reader of the shell's output: whether the shell has ended, or
// has gone to sleep in poll(2) again since the last time this answered
// yes. `*seen` keeps the shell's count of sleeps (/proc/PID/status) of that
// time. With its input blocking, the shell polls only for room on
// descriptor 1, and only once the pipe is full.
inline bool shell_waits_again(pid_t pid, long *seen)
{
    std::string proc = "/proc/" + std::to_string(pid), stat = read_file(proc + "/stat");
    if (stat.size() < 2 || stat[stat.rfind(')') + 2] == 'Z')
        return true;
    std::string status = read_file(proc + "/status");
    size_t at = status.find("\nvoluntary_ctxt_switches:");
    long sleeps = at == std::string::npos ? -1 : atol(status.c_str() + at + 25);
    if (read_file(proc + "/wchan").find("poll") == std::string::npos || sleeps == *seen)
        return false;
    *seen = sleeps;
    return true;
}

// Runs the shell with `input` on its standard input (a pipe that is closed
// after the last byte) and collects its output until it ends. The shell,
// the feeder and every process they start form a process group of their
// own, which is killed once the shell has ended or the time is up: nothing
// a run leaves behind outlives it.
inline run_result husk_run(const std::string &input, const run_opts &o = {})
{
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(err, O_CLOEXEC) ||
        (o.stdout_packets ? socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, out)
                          : pipe2(out, O_CLOEXEC)))
        abort();
    pid_t pid = fork();
    if (pid == -1)
        abort();
    if (pid == 0) {
        setpgid(0, 0);
        start_shell(o, in[0], out[1], err[1]);
    }
    setpgid(pid, pid);
    pid_t feeder = o.feed.empty() ? -1 : fork();
    if (feeder == 0) {
        setpgid(0, pid);
        if (dup2(in[1], 1) == -1 || (!o.cwd.empty() && chdir(o.cwd.c_str()) != 0))
            _exit(127);
        execl("/bin/sh", "sh", "-c", o.feed.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    if (feeder != -1)
        setpgid(feeder, pid);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (o.close_stdout_early) {
        close(out[0]);
        out[0] = -1;
    }
    if (feeder == -1)  // not when a feeder writes to the pipe: it would share the flag
        fcntl(in[1], F_SETFL, O_NONBLOCK);
    signal(SIGPIPE, SIG_IGN);
    run_result r;
    size_t sent = 0;
    if (input.empty() || feeder != -1) {
        close(in[1]);
        in[1] = -1;
    }
    long deadline = now_ms() + static_cast<long>(o.timeout_ms) * timeout_factor(), sleeps = -1;
    while (out[0] != -1 || err[0] != -1) {
        // A slow reader of standard output takes a page, and only once the
        // shell waits for room again: the pipe is full each time, so most
        // of the shell's writes are partial.
        bool take = !o.stdout_slow || shell_waits_again(pid, &sleeps);
        pollfd fds[3] = {{in[1], POLLOUT, 0}, {take ? out[0] : -1, POLLIN, 0}, {err[0], POLLIN, 0}};
        long left = deadline - now_ms();
        if (left <= 0) {
            r.timed_out = true;
            break;
        }
        if (poll(fds, 3, static_cast<int>(take ? left : std::min(left, 1L))) < 0 && errno != EINTR)
            break;
        if (fds[0].revents) {
            ssize_t n = write(in[1], input.data() + sent, input.size() - sent);
            if (n > 0)
                sent += static_cast<size_t>(n);
            if (n < 0 && errno != EAGAIN) // the shell stopped reading
                sent = input.size();
            if (sent == input.size()) {
                close(in[1]);
                in[1] = -1;
            }
        }
        for (int i = 1; i < 3; i++) {
            if (!fds[i].revents)
                continue;
            char buf[65536];
            ssize_t n = read(fds[i].fd, buf, i == 1 && o.stdout_slow ? 4096 : sizeof buf);
            if (n > 0) {
                (i == 1 ? r.out : r.err).append(buf, static_cast<size_t>(n));
                r.torn_writes += i == 1 && o.stdout_packets && buf[n - 1] != '\n';
            } else {
                close(fds[i].fd);
                (i == 1 ? out[0] : err[0]) = -1;
            }
        }
    }
    for (int fd : {in[1], out[0], err[0]})
        if (fd != -1)
            close(fd);
    if (r.timed_out)
        kill(-pid, SIGKILL);
    int st = 0;
    waitpid(pid, &st, 0);
    kill(-pid, SIGKILL);  // what is left: the feeder, children that stay
    if (feeder != -1)
        waitpid(feeder, nullptr, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.not_started = r.status == 125 && r.err.rfind("harness: not possible here: ", 0) == 0;
    return r;
}

// Splits standard output into the lines that are process ids (digits only,
// not starting with 0) and everything else; answers the count of the first.
inline int pid_lines_split(const std::string &out, std::string *rest)
{
    int pids = 0;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l[0] != '0' && l.find_first_not_of("0123456789") == std::string::npos)
            pids++;
        else
            *rest += l + "\n";
    }
    return pids;
}

// A fresh temporary directory, removed with everything in it at the end.
struct temp_dir {
    std::string path;
    temp_dir()
    {
        char tmpl[] = "/tmp/husk-test-XXXXXX";
        if (!mkdtemp(tmpl))
            abort();
        path = tmpl;
    }
    ~temp_dir()
    {
        std::string cmd = "chmod -R u+rwx '" + path + "' 2>/dev/null; rm -rf '" + path + "'";
        if (system(cmd.c_str()) != 0) {
        }
    }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

// A file to look at after a run, and what it must hold, or `absent`.
inline constexpr const char *absent = nullptr;
struct file_text {
    const char *name;
    const char *text;
};

// One end-to-end case: a script the shell runs in a fresh directory, and
// all that must come of it. A field left out expects nothing: no output, no
// message, status 0.
struct e2e_row {
    std::string script{};           // the shell's standard input
    run_opts run{};                 // how the shell is started (cwd: the directory)
    std::string out{};              // standard output less the pid lines; @ is the directory
    int pids = 0;                   // how many lines of standard output are process ids
    std::string err{};              // standard error
    int status = 0;                 // exit status, or 128 + signal number
    std::vector<file_text> files{}; // files in the directory afterwards
};

// Runs each row in a fresh directory, made ready by `setup` when given, and
// checks all it expects. A row the harness cannot set up (such as becoming
// nobody where that is not allowed) is left out, the other rows still run,
// and the test then reports itself skipped, naming the rows left out.
inline void check_rows(const std::vector<e2e_row> &rows, void (*setup)(const temp_dir &) = nullptr)
{
    std::string skipped;
    for (const e2e_row &r : rows) {
        std::string text = (r.script.empty() ? r.run.feed : r.script).substr(0, 200);
        SCOPED_TRACE(text);
        temp_dir d;
        if (setup)
            setup(d);
        run_opts o = r.run;
        o.cwd = d.path;
        run_result res = husk_run(r.script, o);
        if (res.not_started) {
            skipped += "\n  " + testing::PrintToString(text) + ": " + res.err.substr(0, res.err.find('\n'));
            continue;
        }
        std::string out = r.out, rest;
        for (size_t p = 0; (p = out.find('@', p)) != std::string::npos; p += d.path.size())
            out.replace(p, 1, d.path);
        EXPECT_EQ(r.pids, pid_lines_split(res.out, &rest));
        EXPECT_EQ(out, rest);
        EXPECT_EQ(r.err, res.err);
        EXPECT_EQ(r.status, res.status);
        for (const file_text &f : r.files) {
            if (f.text == absent)
                EXPECT_FALSE(file_exists(d / f.name)) << f.name;
            else
                EXPECT_EQ(f.text, read_file(d / f.name)) << f.name;
        }
    }
    if (!skipped.empty())
        GTEST_SKIP() << "rows not run:" << skipped;
}

}  // namespace husk_test

#endif
