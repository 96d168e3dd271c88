// fuzz_exec.cpp - accepted command lines through the list runner, with the
// launcher replaced by a recorder that starts nothing (spawn_record.cpp).
//
// The input is a line, then optionally a NUL byte and the statuses the
// launches report when waited for, one byte each, taken in turn (255 is an
// end by a signal, -1; none: all 0). It runs in a scratch directory, also
// HOME, holding the files a, b and c; x and y are missing. Only lines that
// cannot end the shell are run: no `<<`, redirections only to those five
// names, `<` only from a, b and c, and `cd` only to HOME or `.`, so the
// directory never changes (that is checked too). It stops on any
// difference from a model of what the runner must do in:
//  - the commands launched, in order, with their words;
//  - what each gets on its standard input and output: the shell's own, the
//    pipe from the command before (whose writer the shell no longer holds),
//    a pipe to the next one, a file (opened for appending after >>), or
//    /dev/null (in the background, and after a | whose pipe was never made);
//  - the descriptors the shell holds: at each launch only those it held
//    before the line, the pair handed over and the read end of the pipe the
//    command feeds, all close-on-exec; after the line exactly those it held
//    before, and no close of a descriptor that was not open;
//  - the files of the line opened, in order, each as its operator says: a
//    skipped command opens none; and what became of each file (created,
//    emptied, untouched);
//  - the output: one line for each command not waited for, its process id,
//    or its result for `cd` and for a command without words;
//  - the waits: each launch of a foreground pipeline is waited for exactly
//    once, after the pipeline's last launch and before any later one; none
//    of a background pipeline is, and the shell collects its children
//    before the next line, without any call when it started none.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "broken.h"
#include "checks.h"
#include "exec.h"
#include "mem_capture.h"
#include "spawn_record.h"
#include "syntax.h"
#include "word.h"

namespace {

const std::set<std::string> old_files = {"a", "b", "c"},
                            all_files = {"a", "b", "c", "x", "y"};

// The scratch directory, made at the first check and removed at the end,
// in memory where the system has a memory file system at /dev/shm (a file
// made and removed there costs a fraction of what it costs on a disk's).
// Each check enters it and leaves it again for the directory the process
// was started in, so that the fuzzer's own relative paths (corpus,
// findings) keep their meaning.
char scratch_path[64];
int start_dir = -1, scratch_dir = -1;
struct stat scratch_st, dev_null;

void enter(int dir)
{
    if (fchdir(dir) != 0)
        abort();
}

void scratch_remove()
{
    for (const std::string &n : all_files)
        unlinkat(scratch_dir, n.c_str(), 0);
    rmdir(scratch_path);
}

[[noreturn]] void broken(const char *what, const std::string &input)
{
    enter(start_dir);
    scratch_remove();
    fuzz_broken("fuzz_exec", what, input);
}

#define CHECK(cond, input)        \
    do {                          \
        if (!(cond))              \
            broken(#cond, input); \
    } while (0)

struct redir {
    std::string op, name;
};

struct command {
    std::vector<std::string> words;
    std::vector<redir> redirs;
    std::string end;  // the operator that ends it; empty at the end
};

// The commands of the line: its words up to the first operator, then its
// redirections; other words are ignored. False for a line this target does
// not run.
bool cut(const word_list *wl, std::vector<command> *cmds)
{
    command c;
    for (const word *w = wl->head; w; w = w->next) {
        std::string t = w->str;
        if (!w->is_delim) {
            if (c.redirs.empty())
                c.words.push_back(t);
        } else if (t == "<<") {
            return false;
        } else if (t == "<" || t == ">" || t == ">>") {
            w = w->next;
            if (!(t == "<" ? old_files : all_files).count(w->str))
                return false;
            c.redirs.push_back({t, w->str});
        } else {
            c.end = t;
            cmds->push_back(c);
            c = {};
        }
    }
    if (!c.words.empty() || !c.redirs.empty())
        cmds->push_back(c);
    return std::none_of(cmds->begin(), cmds->end(), [](const command &m) {
        return m.words.size() == 2 && m.words[0] == "cd" && m.words[1] != "." &&
               !all_files.count(m.words[1]);
    });
}

// Where a standard stream of a launch leads: s the shell's own, p a pipe
// (written by launch `from`, when one does), f the file `name` (opened by
// `op`), n /dev/null.
struct stream {
    char kind = 's';
    std::string name{}, op{};
    int from = -1;
};

struct launch_want {
    const command *cmd;
    stream in, out;
};

struct model {
    std::vector<launch_want> launches;
    std::vector<wait_seen> waits;      // sorted
    bool collects = false;             // a background pipeline launched
    std::vector<open_seen> opens;      // the files of the line, in order
    std::map<std::string, int> sizes;  // of each file after; -1 missing
    std::string out;                   // the pid and result lines
};

// What the runner must do with `cmds`, launch k reporting status[k] when
// waited for (spawn_record.h).
model run_model(const std::vector<command> &cmds, const std::vector<int> &status)
{
    model m;
    for (const std::string &n : all_files)
        m.sizes[n] = old_files.count(n) ? 2 : -1;
    int last = 0;          // the result the next && or || looks at
    size_t first = 0;      // the first launch of the pipeline
    bool bg = false;       // the pipeline ends with &
    stream piped = {'n'};  // what a command after | reads
    for (size_t i = 0; i < cmds.size(); i++) {
        const command &c = cmds[i];
        std::string before = i ? cmds[i - 1].end : "";
        if (before != "|") {
            first = m.launches.size();
            size_t j = i;
            while (cmds[j].end == "|")
                j++;
            bg = cmds[j].end == "&";
        }
        if ((before == "&&" && last != 0) || (before == "||" && last == 0)) {
            piped = {'n'};
            continue;
        }
        stream in = before == "|" ? piped : stream{bg ? 'n' : 's'},
               out = {c.end == "|" ? 'p' : 's'};
        for (const redir &r : c.redirs) {
            m.opens.push_back({r.name, r.op == "<"   ? O_RDONLY
                                       : r.op == ">" ? O_WRONLY | O_CREAT | O_TRUNC
                                                     : O_WRONLY | O_CREAT | O_APPEND});
            (r.op == "<" ? in : out) = {'f', r.name, r.op};
            int &size = m.sizes[r.name];
            if (r.op == ">" || (r.op == ">>" && size == -1))
                size = 0;
        }
        bool waited = c.end != "|" && c.end != "&";
        int res = 0, launch = -1;
        if (!c.words.empty() && c.words[0] == "cd") {
            size_t n = c.words.size();
            res = n > 2 ? 1 : n == 1 || c.words[1] == "." ? 0 : -1;
        } else if (!c.words.empty()) {
            launch = int(m.launches.size());
            m.launches.push_back({&c, in, out});
            res = waited ? scripted(status, size_t(launch)) : rec_pid + launch;
            m.collects |= bg;
        }
        for (size_t k = first; waited && k < m.launches.size(); k++)
            m.waits.push_back({m.launches.size(), int(k)});
        if (!waited)
            m.out += std::to_string(res) + "\n";
        last = waited ? res : 0;
        piped = {out.kind == 'p' ? 'p' : 'n', "", "", launch};
    }
    return m;
}

// Of a missing file, all zero.
struct stat stat_of(const char *name)
{
    struct stat st = {};
    if (stat(name, &st) != 0)
        st = {};
    return st;
}

bool same_file(const fd_seen &s, const struct stat &st)
{
    return st.st_ino && s.dev == st.st_dev && s.ino == st.st_ino;
}

// The descriptor `s` handed over for input (`input`) or output is what `w`
// says, close-on-exec and none of those the shell held before the line.
bool stream_is(const fd_seen &s, const stream &w, bool input)
{
    int mode = input ? O_RDONLY : O_WRONLY | (w.op == ">>" ? O_APPEND : 0);
    if (w.kind == 's' || !s.cloexec || rec.before.count(s.fd))
        return w.kind == 's' && s.fd == -1;
    switch (w.kind) {
    case 'n':
        return s.type == S_IFCHR && same_file(s, dev_null) && s.flags == O_RDONLY;
    case 'f':
        return s.type == S_IFREG && same_file(s, stat_of(w.name.c_str())) &&
               s.flags == mode;
    default:
        return s.type == S_IFIFO && s.flags == mode && (!input || s.hup) &&
               (w.from == -1 || rec.launches[size_t(w.from)].out.ino == s.ino);
    }
}

void check_run(const std::string &input, const model &m, const std::string &out,
               const std::set<int> &after)
{
    CHECK(out == m.out, input);
    std::vector<open_seen> opens;
    for (const open_seen &o : rec.opens)
        if (o.name != "/dev/null")
            opens.push_back(
                {o.name, o.flags & (O_ACCMODE | O_CREAT | O_TRUNC | O_APPEND)});
    CHECK(opens == m.opens, input);
    CHECK(after == rec.before && rec.bad_closes == 0, input);
    struct stat here = stat_of(".");
    CHECK(here.st_dev == scratch_st.st_dev && here.st_ino == scratch_st.st_ino, input);
    for (const auto &[name, size] : m.sizes) {
        struct stat st = stat_of(name.c_str());
        CHECK(st.st_ino ? st.st_size == size : size == -1, input);
    }
    CHECK(rec.launches.size() == m.launches.size(), input);
    for (size_t k = 0; k < m.launches.size(); k++) {
        const launch_seen &got = rec.launches[k];
        const launch_want &want = m.launches[k];
        CHECK(got.words == want.cmd->words, input);
        CHECK(stream_is(got.in, want.in, true), input);
        CHECK(stream_is(got.out, want.out, false), input);
        // Besides the pair, only the read end of the pipe the command feeds.
        CHECK(got.held.size() == size_t(want.out.kind == 'p'), input);
        for (const fd_seen &h : got.held)
            CHECK(h.type == S_IFIFO && h.cloexec && h.ino == got.out.ino &&
                      h.flags == O_RDONLY,
                  input);
    }
    // The waits between two launches may come in any order.
    std::sort(rec.waits.begin(), rec.waits.end());
    CHECK(rec.waits == m.waits, input);
    CHECK(rec.collects == m.collects, input);
}

// Makes the scratch directory, the HOME of `cd`, the first time; enters it
// and puts every file back as a run expects it (a, b and c of 2 bytes
// each, x and y missing), whatever the run before, or anything else, did
// to them.
void scratch_enter()
{
    if (scratch_dir == -1) {
        snprintf(scratch_path, sizeof scratch_path, "%s/husk-fuzz-exec.XXXXXX",
                 access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp");
        if (!mkdtemp(scratch_path) || setenv("HOME", scratch_path, 1) != 0 ||
            (start_dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) == -1 ||
            (scratch_dir = open(scratch_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC)) ==
                -1 ||
            fstat(scratch_dir, &scratch_st) != 0 || stat("/dev/null", &dev_null) != 0)
            abort();
        atexit(scratch_remove);
    }
    enter(scratch_dir);
    for (const std::string &n : all_files) {
        if (!old_files.count(n)) {
            unlink(n.c_str());
        } else if (stat_of(n.c_str()).st_size != 2) {
            FILE *f = fopen(n.c_str(), "w");
            if (!f || fputs("z\n", f) < 0 || fclose(f) != 0)
                abort();
        }
    }
}

}  // namespace

int fuzz_exec_check(const std::string &input)
{
    std::string line = input.substr(0, input.find('\0'));
    std::vector<int> status;
    for (size_t i = line.size() + 1; i < input.size(); i++)
        status.push_back(input[i] == '\xff' ? -1 : static_cast<unsigned char>(input[i]));
    int pos, len;
    if (syntax_handle(line.data(), &pos, &len) != syntax_ok)
        return -1;
    word_list *wl = word_list_from_buff(line.c_str());
    std::vector<command> cmds;
    if (!wl || !cut(wl, &cmds)) {
        word_list_destroy(&wl);
        return -1;
    }
    scratch_enter();
    model m = run_model(cmds, status);
    rec = {};
    rec.status = status;
    std::set<int> after;
    std::string out = mem_capture_out([&] {
        mem_capture_err([&] {
            rec.before = open_fds();
            exec_word_list_handle(wl);
            after = open_fds();
            proc_finished_handle();
        });
    });
    check_run(input, m, out, after);
    enter(start_dir);
    word_list_destroy(&wl);
    return int(std::count_if(cmds.begin(), cmds.end(), [](const command &c) {
        return !c.words.empty() && c.words[0] != "cd";
    }));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_exec_check(std::string(reinterpret_cast<const char *>(data), size));
    return 0;
}
