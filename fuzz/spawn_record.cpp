// spawn_record.cpp - the recording launcher (see spawn_record.h).
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "launch.h"
#include "spawn_record.h"

spawn_record rec;

std::set<int> open_fds()
{
    // Every call that makes a descriptor takes the lowest number free, so
    // the ones a line makes lie below the lowest free at the first call
    // plus a margin far beyond what a line holds at once. One poll tells
    // which of those are open: it answers POLLNVAL for the others.
    static int limit = 0;
    if (limit == 0) {
        int low = memfd_create("lowest-free", 0);
        if (low == -1 || close(low) != 0)
            abort();
        limit = low + 64;
    }
    std::vector<pollfd> p(static_cast<size_t>(limit));
    for (int fd = 0; fd < limit; fd++)
        p[size_t(fd)] = {fd, 0, 0};
    if (poll(p.data(), p.size(), 0) < 0)
        abort();
    std::set<int> fds;
    for (const pollfd &q : p)
        if (!(q.revents & POLLNVAL))
            fds.insert(q.fd);
    return fds;
}

namespace {

// What `fd` is. For a pipe a command reads, whose writer the shell must no
// longer hold (`input`), the end of the writer is waited for up to 5 s: a
// process that looks at our descriptors in /proc (fdinfo, say) holds the
// writer's open file for a moment, and its close may be the last one.
fd_seen describe(int fd, bool input = false)
{
    fd_seen s;
    s.fd = fd;
    struct stat st;
    if (fd == -1 || fstat(fd, &st) != 0)
        return s;
    s.type = st.st_mode & S_IFMT;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.flags = fcntl(fd, F_GETFL) & (O_ACCMODE | O_APPEND);
    s.cloexec = fcntl(fd, F_GETFD) & FD_CLOEXEC;
    pollfd p = {fd, 0, 0};  // POLLHUP is reported whatever is asked for
    int wait = input && s.type == S_IFIFO ? 5000 : 0;
    s.hup = poll(&p, 1, wait) == 1 && (p.revents & POLLHUP);
    return s;
}

}  // namespace

pid_t spawn_argv(char **argv, const int *cmd_fd)
{
    launch_seen l;
    for (char **a = argv; *a; a++)
        l.words.push_back(*a);
    l.in = describe(cmd_fd[0], true);
    l.out = describe(cmd_fd[1]);
    for (int fd : open_fds())
        if (!rec.before.count(fd) && fd != cmd_fd[0] && fd != cmd_fd[1])
            l.held.push_back(describe(fd));
    rec.launches.push_back(l);
    return rec_pid + pid_t(rec.launches.size() - 1);
}

int spawn_wait(pid_t pid)
{
    int k = pid - rec_pid;
    if (k < 0 || k >= int(rec.launches.size()))
        k = -1;
    rec.waits.push_back({rec.launches.size(), k});
    return k == -1 ? 0 : scripted(rec.status, size_t(k));
}

int spawn_collect(void)
{
    rec.collects++;
    return 0;
}

extern "C" int __real_open(const char *name, int flags, ...);

extern "C" int __wrap_open(const char *name, int flags, ...)
{
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    rec.opens.push_back({name, flags});
    return __real_open(name, flags, mode);
}

extern "C" int __real_close(int fd);

extern "C" int __wrap_close(int fd)
{
    int res = __real_close(fd);
    if (res == -1 && errno == EBADF)
        rec.bad_closes++;
    return res;
}
