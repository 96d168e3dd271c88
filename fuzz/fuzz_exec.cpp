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
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The directory the process was started in, and the scratch directory: a
// check enters the scratch directory, and the fuzzer's entry leaves it
// again, so that the fuzzer's own relative paths (corpus, findings) keep
// their meaning. The exhaustive runs stay inside. It is made in memory
// where the system has a memory file system at /dev/shm: a file made and
// removed there costs a fraction of what it costs on a disk's.
char scratch_path[64];
int start_dir = -1, scratch_dir = -1;
bool inside = false;
struct stat scratch_st;

// What the last run left of each file (see model::files), so that the next
// one puts back only what changed; empty before the first run.
std::map<std::string, char> files_left;

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

[[noreturn]] void broken(const char *what, const std::string &line)
{
    enter(start_dir);
    scratch_remove();
    fuzz_broken("fuzz_exec", what, line);
}

#define CHECK(cond, line)        \
    do {                         \
        if (!(cond))             \
            broken(#cond, line); \
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
    for (const command &m : *cmds)
        if (m.words.size() == 2 && m.words[0] == "cd" && m.words[1] != "." &&
            !all_files.count(m.words[1]))
            return false;
    return true;
}

// Where a standard stream of a launch leads: s the shell's own, p a pipe,
// f the file `name` (opened by `op`), n /dev/null.
struct stream {
    char kind = 's';
    std::string name, op;
};

struct launch_want {
    const command *cmd;
    stream in, out;
    int from;             // the launch that writes the pipe read, or -1
    int wait_after = -1;  // waited for once this many launches were made;
                          // -1: never (a background pipeline)
};

struct model {
    std::vector<launch_want> launches;
    std::vector<open_seen> opens;       // the files of the line, in order
    std::map<std::string, char> files;  // F full, E empty, M missing
    std::string out;                    // the pid and result lines
};

// What the runner must do with `cmds`, launch k reporting status[k] when
// waited for (spawn_record.h).
model run_model(const std::vector<command> &cmds, const std::vector<int> &status)
{
    model m;
    for (const std::string &n : all_files)
        m.files[n] = old_files.count(n) ? 'F' : 'M';
    int last = 0, prev_launch = -1;
    size_t first = 0;  // the first launch of the pipeline
    bool bg = false, prev_piped = false;
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
            prev_piped = false;
            prev_launch = -1;
            continue;
        }
        stream in, out;
        for (const redir &r : c.redirs) {
            m.opens.push_back({r.name, r.op == "<"   ? O_RDONLY
                                       : r.op == ">" ? O_WRONLY | O_CREAT | O_TRUNC
                                                     : O_WRONLY | O_CREAT | O_APPEND});
            (r.op == "<" ? in : out) = {'f', r.name, r.op};
            char &f = m.files[r.name];
            if (r.op == ">" || (r.op == ">>" && f == 'M'))
                f = 'E';
        }
        if (in.kind == 's' && before == "|")
            in.kind = prev_piped ? 'p' : 'n';
        else if (in.kind == 's' && bg)
            in.kind = 'n';
        if (out.kind == 's' && c.end == "|")
            out.kind = 'p';
        bool waited = c.end != "|" && c.end != "&";
        int res = 0, launch = -1;
        if (!c.words.empty() && c.words[0] == "cd") {
            size_t n = c.words.size();
            res = n > 2 ? 1 : n == 1 || c.words[1] == "." ? 0 : -1;
        } else if (!c.words.empty()) {
            launch = int(m.launches.size());
            m.launches.push_back({&c, in, out, in.kind == 'p' ? prev_launch : -1});
            res = waited ? scripted(status, size_t(launch)) : rec_pid + launch;
        }
        for (size_t k = first; c.end != "|" && !bg && k < m.launches.size(); k++)
            m.launches[k].wait_after = int(m.launches.size());
        if (!waited)
            m.out += std::to_string(res) + "\n";
        last = waited ? res : 0;
        prev_piped = out.kind == 'p';
        prev_launch = launch;
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

struct stat dev_null;

bool same_file(const fd_seen &s, const struct stat &st)
{
    return st.st_ino && s.dev == st.st_dev && s.ino == st.st_ino;
}

// The descriptor `s` handed over for input (`input`) or output is what `w`
// says, close-on-exec and none of those the shell held before the line;
// `feeder` is the launch that writes the pipe an input reads.
bool stream_is(const fd_seen &s, const stream &w, bool input, const launch_seen *feeder)
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
               (!feeder || feeder->out.ino == s.ino);
    }
}

// Checks the stream `which` ("in" or "out") of launch k with stream_is, and
// names on a difference what was wanted and what was seen.
void check_stream(const std::string &input, size_t k, const char *which, const fd_seen &s,
                  const stream &w, const launch_seen *feeder)
{
    if (stream_is(s, w, which[0] == 'i', feeder))
        return;
    char what[256];
    snprintf(what, sizeof what,
             "launch %zu, standard %sput: wanted %c%s%s, seen descriptor %d (type %o, "
             "flags %o, close-on-exec %d, held before %d, no writer %d, inode %lu)",
             k, which, w.kind, w.name.empty() ? "" : " ", w.name.c_str(), s.fd,
             unsigned(s.type), unsigned(s.flags), s.cloexec, int(rec.before.count(s.fd)),
             s.hup, static_cast<unsigned long>(s.ino));
    broken(what, input);
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
    for (const auto &[name, state] : m.files) {
        struct stat st = stat_of(name.c_str());
        CHECK(state == 'M' ? !st.st_ino
                           : st.st_ino && st.st_size == (state == 'F' ? 2 : 0),
              input);
    }
    CHECK(rec.launches.size() == m.launches.size(), input);
    bool any_bg = false;
    for (size_t k = 0; k < m.launches.size(); k++) {
        const launch_seen &got = rec.launches[k];
        const launch_want &want = m.launches[k];
        CHECK(got.words == want.cmd->words, input);
        check_stream(input, k, "in", got.in, want.in,
                     want.from >= 0 ? &rec.launches[size_t(want.from)] : nullptr);
        check_stream(input, k, "out", got.out, want.out, nullptr);
        if (want.out.kind == 'p')
            CHECK(got.held.size() == 1 && got.held[0].type == S_IFIFO &&
                      got.held[0].cloexec && got.held[0].ino == got.out.ino &&
                      got.held[0].flags == O_RDONLY,
                  input);
        else
            CHECK(got.held.empty(), input);
        any_bg |= want.wait_after == -1;
    }
    std::vector<bool> waited(m.launches.size());
    int launched = 0;
    for (const spawn_event &e : rec.events) {
        launched += !e.wait;
        if (e.wait) {
            CHECK(e.launch >= 0 && m.launches[size_t(e.launch)].wait_after == launched,
                  input);
            CHECK(!waited[size_t(e.launch)], input);  // exactly once
            waited[size_t(e.launch)] = true;
        }
    }
    for (size_t k = 0; k < m.launches.size(); k++)
        CHECK(waited[k] == (m.launches[k].wait_after != -1), input);
    CHECK(rec.collects == any_bg, input);
}

// The input as the fuzzer gives it, for a report: the line, then a NUL
// byte and the statuses, one byte each (255 for -1), when there are any.
std::string fuzz_exec_input(const std::string &line, const std::vector<int> &status)
{
    std::string in = line;
    if (!status.empty())
        in += '\0';
    for (int s : status)
        in += static_cast<char>(s == -1 ? 255 : s);
    return in;
}

// Makes the scratch directory, the HOME of `cd`, the first time, and
// enters it; it goes at the end.
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
    if (!inside)
        enter(scratch_dir);
    inside = true;
}

void scratch_leave()
{
    if (inside)
        enter(start_dir);
    inside = false;
}

// Puts the files back as a run expects them: a, b and c of 2 bytes each,
// x and y missing. Only those the last run changed are touched.
void scratch_reset()
{
    for (const std::string &n : all_files) {
        char want = old_files.count(n) ? 'F' : 'M';
        if (!files_left.empty() && files_left[n] == want)
            continue;
        if (want == 'M') {
            unlink(n.c_str());
        } else if (stat_of(n.c_str()).st_size != 2) {
            FILE *f = fopen(n.c_str(), "w");
            if (!f || fputs("z\n", f) < 0 || fclose(f) != 0)
                abort();
        }
    }
}

}  // namespace

bool fuzz_exec_check(const std::string &line, const std::vector<int> &status)
{
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back('\0');
    int pos, len;
    if (syntax_handle(buf.data(), &pos, &len) != syntax_ok)
        return false;
    word_list *wl = word_list_from_buff(buf.data());
    std::vector<command> cmds;
    if (!wl || !cut(wl, &cmds)) {
        if (wl)
            word_list_destroy(&wl);
        return false;
    }
    scratch_enter();
    scratch_reset();
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
    check_run(fuzz_exec_input(line, status), m, out, after);
    files_left = m.files;
    word_list_destroy(&wl);
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);
    const void *nul = memchr(data, '\0', size);
    std::string line(text, nul ? static_cast<const char *>(nul) - text : size);
    std::vector<int> status;
    for (size_t i = line.size() + 1; i < size; i++)
        status.push_back(data[i] == 255 ? -1 : data[i]);
    fuzz_exec_check(line, status);
    scratch_leave();
    return 0;
}
