// prove.cpp - the driver of the exhaustive runs (prove.h).
#include "prove.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/time.h>
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

// In memory shared with the workers: the flag the driver sets when a
// worker has found a difference (the others stop at their next look, and
// end as usual, so that they leave nothing behind), then the runs of the
// check each worker made, written when it is done.
volatile uint64_t *shared;
constexpr int done_status = 76, broken_status = 77, stopped_status = 78;

// The input a worker is checking, for a report when the check ends the
// process by other means than fuzz_broken: an exit of the shell, a signal.
// Written straight to descriptor 2: the C stream may be caught in memory.
const std::vector<int> *checking;
const prove_space *checking_space;

void report_checking()
{
    if (checking)
        dprintf(2, "prove %s: the process ended during the check of %s\n",
                checking_space->what,
                fuzz_shown(prove_text(*checking, *checking_space)).c_str());
}

void report_signal(int sig)
{
    report_checking();
    signal(sig, SIG_DFL);
    raise(sig);
}

// A check that hangs would stall the whole run without a word: once a
// minute a worker looks whether it has moved on to another input since the
// last look, and if not it reports the input and ends by the signal.
volatile uint64_t progress;

void report_stuck(int sig)
{
    static uint64_t seen = ~uint64_t(0);
    if (progress != seen) {
        seen = progress;
        return;
    }
    dprintf(2, "prove: one check took over a minute\n");
    report_signal(sig);
}

void broken_end()
{
    checking = nullptr;  // reported by fuzz_broken
    exit(broken_status);
}

double now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
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
        if ((at & 0xfff) == 0 && shared[0]) {
            checking = nullptr;
            exit(stopped_status);
        }
        progress = at;
        runs += space.check(seq, space);
        for (size_t i = seq.size(); i-- > 0 && ++seq[i] == members;)
            seq[i] = 0;
    }
    checking = nullptr;
    return runs;
}

// Starts worker w on the inputs numbered [from, to) of `size` members: a
// child, any end of which that it does not plan is reported.
void worker(const prove_space &space, int size, size_t w, uint64_t from, uint64_t to)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == -1)
        abort();
    if (pid == 0) {
        atexit(report_checking);
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
            signal(sig, report_signal);
        // SA_RESTART: the look must not make the check's system calls fail.
        struct sigaction look = {};
        look.sa_handler = report_stuck;
        look.sa_flags = SA_RESTART;
        itimerval minute = {{60, 0}, {60, 0}};
        if (sigaction(SIGALRM, &look, nullptr) ||
            setitimer(ITIMER_REAL, &minute, nullptr))
            abort();
        shared[1 + w] = check_range(space, size, from, to);
        exit(done_status);
    }
}

// What ended a worker that did not finish, or "" for one that did or that
// was stopped.
std::string worker_end(int status)
{
    if (WIFSIGNALED(status))
        return "a worker was ended by signal " + std::to_string(WTERMSIG(status));
    int code = WEXITSTATUS(status);
    if (code == broken_status)
        return "DIFFERENCE";
    if (code == stopped_status || code == done_status)
        return "";
    return "a worker ended with status " + std::to_string(code);
}

// Checks every input of `size` members with `workers` children. Answers ""
// when all of them are done, else what ended the first that did not finish
// (its report is above); the others are stopped.
std::string check_size(const prove_space &space, int size, int workers, tally *t)
{
    uint64_t count = 1;
    for (int i = 0; i < size; i++)
        count *= space.alphabet.size();
    workers = int(std::min<uint64_t>(uint64_t(workers), count));
    double start = now();
    for (size_t w = 0; w < size_t(workers); w++) {
        shared[1 + w] = 0;
        worker(space, size, w, count * w / size_t(workers),
               count * (w + 1) / size_t(workers));
    }
    std::string why;
    for (int left = workers; left > 0; left--) {
        int status;
        rusage use;
        if (wait4(-1, &status, 0, &use) == -1)
            abort();
        t->cpu += double(use.ru_utime.tv_sec) + double(use.ru_utime.tv_usec) / 1e6 +
                  double(use.ru_stime.tv_sec) + double(use.ru_stime.tv_usec) / 1e6;
        std::string end = worker_end(status);
        if (!end.empty() && why.empty()) {
            why = end;
            shared[0] = 1;
        }
    }
    for (size_t w = 0; w < size_t(workers); w++)
        t->runs += shared[1 + w];
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
    fprintf(stderr, "usage: %s [-k kind] [-j workers] bound\nkinds:", prog);
    for (const prove_space *k : spaces)
        fprintf(stderr, " %s", k->what);
    fputc('\n', stderr);
    exit(2);
}

// Every size up to `bound`, and the figures. Answers the exit status.
int run(const prove_space &space, int bound, int workers)
{
    printf("prove %s: every input of %d to %d %ss over %zu members, %d workers\n",
           space.what, space.first, bound, space.member, space.alphabet.size(), workers);
    tally all;
    for (int size = space.first; size <= bound; size++) {
        tally t;
        std::string why = check_size(space, size, workers, &t);
        if (!why.empty()) {
            printf("prove %s: %s at size %d (reported above)\n", space.what, why.c_str(),
                   size);
            return 1;
        }
        print_figures(space, ("size " + std::to_string(size)).c_str(), t);
        all.inputs += t.inputs;
        all.runs += t.runs;
        all.wall += t.wall;
        all.cpu += t.cpu;
    }
    std::string what = "sizes " + std::to_string(space.first) + " to " +
                       std::to_string(bound) + ", no difference";
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
    int workers = int(sysconf(_SC_NPROCESSORS_ONLN)), opt;
    while ((opt = getopt(argc, argv, "k:j:")) != -1) {
        if (opt == 'k') {
            auto k = std::find_if(spaces.begin(), spaces.end(), [](const prove_space *s) {
                return std::string(s->what) == optarg;
            });
            if (k == spaces.end())
                usage(argv[0], spaces);
            space = *k;
        } else if (opt == 'j') {
            workers = atoi(optarg);
        } else {
            usage(argv[0], spaces);
        }
    }
    if (optind + 1 != argc || workers < 1)
        usage(argv[0], spaces);
    fuzz_broken_end = broken_end;
    void *map = mmap(nullptr, (1 + size_t(workers)) * sizeof(uint64_t),
                     PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED)
        abort();
    shared = static_cast<volatile uint64_t *>(map);
    return run(*space, atoi(argv[optind]), workers);
}
