// runstat.cpp - runs a command and reports its wall time and peak memory,
// independently of any `time` program.
//
//   husk_runstat [-n COUNT] RESULT_FILE COMMAND [ARG...]
//
// Runs COMMAND COUNT times (default 1) one after the other, with this
// program's standard descriptors. Before each run after the first, standard
// input is rewound when it is a regular file, so every run reads the same
// script. Writes one line to RESULT_FILE:
//
//   <wall seconds per run> <CPU seconds per run> <peak resident KiB> <status>
//
// The CPU time (user and system) counts the command and the children it
// waited for; on a busy machine it varies less than the wall time. The
// peak is the largest of any run. The status is that of the first run
// that did not exit with 0 (a signal counts as 128 + its number), else 0.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

static double seconds(timeval tv)
{
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
}

static double now(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int main(int argc, char **argv)
{
    int argi = 1;
    long count = 1;
    if (argc > 2 && strcmp(argv[1], "-n") == 0) {
        count = strtol(argv[2], nullptr, 10);
        argi = 3;
    }
    if (argc - argi < 2 || count < 1) {
        fputs("usage: husk_runstat [-n COUNT] RESULT_FILE COMMAND [ARG...]\n", stderr);
        return 2;
    }
    const char *result = argv[argi];
    char **cmd = argv + argi + 1;
    struct stat st;
    int rewind = fstat(0, &st) == 0 && S_ISREG(st.st_mode);
    long peak = 0;
    double cpu = 0;
    int status_out = 0;
    double start = now();
    for (long i = 0; i < count; i++) {
        if (i > 0 && rewind)
            lseek(0, 0, SEEK_SET);
        pid_t pid;
        int err = posix_spawnp(&pid, cmd[0], nullptr, nullptr, cmd, environ);
        if (err != 0) {
            fprintf(stderr, "husk_runstat: %s: %s\n", cmd[0], strerror(err));
            return 1;
        }
        int status;
        rusage ru;
        while (wait4(pid, &status, 0, &ru) == -1) {
            if (errno != EINTR) {
                perror("husk_runstat: wait4");
                return 1;
            }
        }
        cpu += seconds(ru.ru_utime) + seconds(ru.ru_stime);
        if (ru.ru_maxrss > peak)
            peak = ru.ru_maxrss;
        int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (code != 0 && status_out == 0)
            status_out = code;
    }
    double per_run = (now() - start) / static_cast<double>(count);
    double cpu_per_run = cpu / static_cast<double>(count);
    FILE *f = fopen(result, "w");
    if (!f ||
        fprintf(f, "%.9f %.9f %ld %d\n", per_run, cpu_per_run, peak, status_out) < 0 ||
        fclose(f) != 0) {
        perror(result);
        return 1;
    }
    return 0;
}
