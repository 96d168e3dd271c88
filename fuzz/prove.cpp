// prove.cpp - the driver of the exhaustive runs (prove.h).
#include "prove.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "broken.h"

namespace {

// What the checks of one size, or of a whole run, came to.
struct tally {
    uint64_t inputs = 0;  // member sequences enumerated
    uint64_t runs = 0;    // runs of the target's check
    double wall = 0;      // seconds
    double cpu = 0;       // processor seconds of the workers
};

// Set by the driver when a worker has found a difference: the others stop
// at their next look, and end as usual, so that they leave nothing behind.
volatile int *stop_all;
constexpr int broken_status = 77, stopped_status = 78;

// The input a worker is checking, for a report when the check ends the
// process by other means than fuzz_broken: an exit of the shell, a signal.
const std::vector<int> *checking;
const prove_space *checking_space;

void report_checking()
{
    if (!checking)
        return;
    std::string text = prove_text(*checking, *checking_space);
    std::string msg = std::string("prove ") + checking_space->what +
                      ": the process ended during the check of (" +
                      std::to_string(text.size()) + " bytes): ";
    for (unsigned char c : text) {
        char hex[8];
        snprintf(hex, sizeof hex, c >= 32 && c < 127 ? "%c" : "\\x%02x", c);
        msg += hex;
    }
    msg += '\n';
    ssize_t w = write(2, msg.data(), msg.size());
    (void)w;
}

void report_signal(int sig)
{
    report_checking();
    signal(sig, SIG_DFL);
    raise(sig);
}

void broken_end()
{
    checking = nullptr;  // reported by fuzz_broken
    exit(broken_status);
}

// Makes this process a worker: any end it does not plan is reported.
void worker_start()
{
    atexit(report_checking);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        signal(sig, report_signal);
}

double now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

uint64_t count_of(const prove_space &space, int size)
{
    uint64_t n = 1;
    for (int i = 0; i < size; i++)
        n *= space.alphabet.size();
    return n;
}

// Checks the inputs of `size` members numbered [from, to) in the order of
// the alphabet. Answers the runs of the check, or stops the worker.
uint64_t check_range(const prove_space &space, int size, uint64_t from, uint64_t to)
{
    const int members = int(space.alphabet.size());
    std::vector<int> seq(size_t(size), 0);
    uint64_t k = from;
    for (size_t i = seq.size(); i-- > 0; k /= uint64_t(members))
        seq[i] = int(k % uint64_t(members));
    uint64_t runs = 0;
    checking = &seq;
    checking_space = &space;
    for (uint64_t at = from; at < to; at++) {
        if ((at & 0xfff) == 0 && *stop_all) {
            checking = nullptr;
            exit(stopped_status);
        }
        runs += space.check(seq, space);
        for (size_t i = seq.size(); i-- > 0 && ++seq[i] == members;)
            seq[i] = 0;
    }
    checking = nullptr;
    return runs;
}

// Starts a worker on the inputs numbered [from, to) of `size` members.
// Gives its process id and, in `*fd`, the pipe on which it writes the runs
// of its checks when it has made them all.
pid_t worker(const prove_space &space, int size, uint64_t from, uint64_t to, int *fd)
{
    int p[2];
    if (pipe(p) != 0)
        abort();
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == -1)
        abort();
    if (pid == 0) {
        close(p[0]);
        worker_start();
        uint64_t runs = check_range(space, size, from, to);
        exit(write(p[1], &runs, sizeof runs) == sizeof runs ? 0 : 3);
    }
    close(p[1]);
    *fd = p[0];
    return pid;
}

// What ended a worker that did not finish, or "" for one that did (its
// runs added to `*runs`) or that was stopped.
std::string worker_end(int status, int fd, uint64_t *runs)
{
    uint64_t n = 0;
    bool wrote = read(fd, &n, sizeof n) == sizeof n;
    close(fd);
    if (WIFSIGNALED(status))
        return "a worker was ended by signal " + std::to_string(WTERMSIG(status));
    int code = WEXITSTATUS(status);
    if (code == broken_status)
        return "DIFFERENCE";
    if (code == stopped_status || (code == 0 && wrote)) {
        *runs += n;
        return "";
    }
    return "a worker ended with status " + std::to_string(code);
}

// Checks every input of `size` members with `workers` children. Answers ""
// when all of them are done, else what ended the first that did not finish
// (its report is above); the others are stopped.
std::string check_size(const prove_space &space, int size, int workers, tally *t)
{
    uint64_t count = count_of(space, size);
    workers = int(std::min<uint64_t>(uint64_t(workers), count));
    std::vector<pid_t> pids(size_t(workers), 0);
    std::vector<int> fds(size_t(workers), -1);
    double start = now();
    for (size_t w = 0; w < pids.size(); w++)
        pids[w] = worker(space, size, count * w / pids.size(),
                         count * (w + 1) / pids.size(), &fds[w]);
    std::string why;
    for (int left = workers; left > 0; left--) {
        int status;
        rusage use;
        pid_t pid = wait4(-1, &status, 0, &use);
        if (pid == -1)
            abort();
        t->cpu += double(use.ru_utime.tv_sec) + double(use.ru_utime.tv_usec) / 1e6 +
                  double(use.ru_stime.tv_sec) + double(use.ru_stime.tv_usec) / 1e6;
        size_t w = size_t(std::find(pids.begin(), pids.end(), pid) - pids.begin());
        std::string end = worker_end(status, fds[w], &t->runs);
        if (!end.empty() && why.empty()) {
            why = end;
            *stop_all = 1;
        }
    }
    t->inputs += count;
    t->wall += now() - start;
    return why;
}

void print_figures(const prove_space &space, const char *what, const tally &t)
{
    printf("prove %s: %s: %llu inputs, %llu checks, %.1f s, %.2f us of processor "
           "time per check\n",
           space.what, what, static_cast<unsigned long long>(t.inputs),
           static_cast<unsigned long long>(t.runs), t.wall,
           t.runs ? t.cpu * 1e6 / double(t.runs) : 0.0);
    fflush(stdout);
}

[[noreturn]] void usage(const char *prog, const std::vector<const prove_space *> &spaces)
{
    fprintf(stderr,
            "usage: %s [-k kind] [-j workers] [-s first size] bound\nkinds:", prog);
    for (const prove_space *k : spaces)
        fprintf(stderr, " %s", k->what);
    fputc('\n', stderr);
    exit(2);
}

// Every size from `first` to `bound`, and the figures. Answers the exit
// status.
int run(const prove_space &space, int first, int bound, int workers)
{
    printf("prove %s: every input of %d to %d %ss over %zu members, %d workers\n",
           space.what, first, bound, space.member, space.alphabet.size(), workers);
    tally all;
    for (int size = first; size <= bound; size++) {
        tally t;
        std::string why = check_size(space, size, workers, &t);
        all.inputs += t.inputs;
        all.runs += t.runs;
        all.wall += t.wall;
        all.cpu += t.cpu;
        if (!why.empty()) {
            printf("prove %s: %s at size %d (reported above)\n", space.what, why.c_str(),
                   size);
            return 1;
        }
        print_figures(space, ("size " + std::to_string(size)).c_str(), t);
    }
    std::string what = "sizes " + std::to_string(first) + " to " + std::to_string(bound) +
                       ", no difference";
    print_figures(space, what.c_str(), all);
    return 0;
}

}  // namespace

std::string prove_text(const std::vector<int> &seq, const prove_space &space)
{
    std::string text;
    for (size_t i = 0; i < seq.size(); i++) {
        if (i)
            text += space.sep;
        text += space.alphabet[size_t(seq[i])];
    }
    return text;
}

int prove_main(int argc, char **argv, const std::vector<const prove_space *> &spaces)
{
    const prove_space *space = spaces[0];
    int workers = int(sysconf(_SC_NPROCESSORS_ONLN)), first = -1, opt;
    while ((opt = getopt(argc, argv, "k:j:s:")) != -1) {
        if (opt == 'k') {
            auto k = std::find_if(spaces.begin(), spaces.end(), [](const prove_space *s) {
                return std::string(s->what) == optarg;
            });
            if (k == spaces.end())
                usage(argv[0], spaces);
            space = *k;
        } else if (opt == 'j') {
            workers = atoi(optarg);
        } else if (opt == 's') {
            first = atoi(optarg);
        } else {
            usage(argv[0], spaces);
        }
    }
    if (optind + 1 != argc || workers < 1)
        usage(argv[0], spaces);
    fuzz_broken_end = broken_end;
    stop_all = static_cast<volatile int *>(mmap(
        nullptr, sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (stop_all == MAP_FAILED)
        abort();
    return run(*space, std::max(first, space->first), atoi(argv[optind]), workers);
}
