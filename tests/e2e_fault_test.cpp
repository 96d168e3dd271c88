// e2e_fault_test.cpp - the shell when the system or its input works against
// it: descriptor and process limits, files it may not open, programs that
// cannot run, a reader that goes away, input that is not text, a line of
// 100 MB. Each case ends with its message and status, and the lines after
// a failure the shell survives still run.
#include <gtest/gtest.h>

#include <grp.h>
#include <random>

#include "e2e_support.h"

using namespace husk_test;

namespace {

// Some runs need the shell started in a way husk_run cannot: as nobody (so
// that permissions and RLIMIT_NPROC hold when the tests run as root), with
// SIGPIPE ignored (an ignored signal stays ignored across exec), or with its
// output on a given file. husk_run then starts this test binary with
// HUSK_WRAP set; the constructor below prepares the process before any test
// code runs and puts the real shell in its place. When it cannot, it ends
// with status 125 and a message starting "wrapper:", and the test skips.
constexpr uid_t nobody = 65534;
constexpr int wrap_failed = 125;

struct wrap {
    bool as_nobody = false;        // drop root privileges (nothing otherwise)
    rlim_t nproc = 0;              // RLIMIT_NPROC when not 0
    bool sigpipe_ignored = false;  // as some callers leave it
    std::string out_path;          // opened onto descriptor 1 when set
};

[[noreturn]] void wrap_fail(const char *what)
{
    fprintf(stderr, "wrapper: %s: %s\n", what, strerror(errno));
    _exit(wrap_failed);
}

// glibc hands the constructors of a program the arguments of main.
__attribute__((constructor)) void wrap_and_exec(int, char **argv)
{
    const char *wrap_opts = getenv("HUSK_WRAP"), *real = getenv("HUSK_WRAP_REAL");
    if (!wrap_opts || !real)
        return;
    int as_nobody = 0, sigpipe_ignored = 0, used = 0;
    unsigned long nproc = 0;
    if (sscanf(wrap_opts, "%d:%lu:%d:%n", &as_nobody, &nproc, &sigpipe_ignored, &used) != 3)
        wrap_fail("bad HUSK_WRAP");
    std::string out = wrap_opts + used, bin = real;
    unsetenv("HUSK_WRAP");
    unsetenv("HUSK_WRAP_REAL");
    if (sigpipe_ignored)
        signal(SIGPIPE, SIG_IGN);
    int fd = out.empty() ? 1 : open(out.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd == -1 || dup2(fd, 1) == -1)
        wrap_fail(out.c_str());
    // Opened while still root, so that nobody can run it even from a build
    // directory nobody may enter.
    int exe = open(bin.c_str(), O_RDONLY | O_CLOEXEC);
    if (exe == -1)
        wrap_fail(bin.c_str());
    if (as_nobody && getuid() == 0 &&
        (setgroups(0, nullptr) || setgid(nobody) || setuid(nobody)))
        wrap_fail("cannot become nobody");
    rlimit rl = {nproc, nproc};
    if (nproc && setrlimit(RLIMIT_NPROC, &rl))
        wrap_fail("RLIMIT_NPROC");
    argv[0] = bin.data();
    fexecve(exe, argv, environ);
    wrap_fail(bin.c_str());
}

// In a build with the sanitizers, the leak check at the shell's exit needs
// free descriptors and a helper task of its own; a run that has used up
// either on purpose goes without it.
void without_leak_check(run_opts *o)
{
    const char *asan = getenv("ASAN_OPTIONS");
    o->env.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0");
}

run_result run_wrapped(const std::string &input, run_opts o, const wrap &w)
{
    o.env.push_back("HUSK_BIN=/proc/self/exe");
    o.env.push_back("HUSK_WRAP_REAL=" + husk_bin());
    o.env.push_back("HUSK_WRAP=" + std::to_string(w.as_nobody) + ":" + std::to_string(w.nproc) +
                    ":" + std::to_string(w.sigpipe_ignored) + ":" + w.out_path);
    return husk_run(input, o);
}

#define SKIP_IF_UNWRAPPED(r)                                                  \
    do {                                                                      \
        if ((r).status == wrap_failed && (r).err.rfind("wrapper:", 0) == 0) { \
            GTEST_SKIP() << (r).err;                                          \
        }                                                                     \
    } while (0)

// A directory with a file of each kind the rows need, open to nobody.
void setup(const temp_dir &d)
{
    chmod(d.path.c_str(), 0777);
    write_file(d / "in", "data\n");
    write_file(d / "ro", "old\n");
    chmod((d / "ro").c_str(), 0444);
    write_file(d / "secret", "hidden\n");
    chmod((d / "secret").c_str(), 0);
    mkdir((d / "locked").c_str(), 0555);
    mkdir((d / "closed").c_str(), 0);
    mkdir((d / "dir").c_str(), 0755);
    write_file(d / "script", "#!/nonexistent/interpreter\n");
    chmod((d / "script").c_str(), 0755);
}

enum how { plain, nofile4, as_nobody };

struct row {
    how run;
    const char *in;
    const char *out;             // standard output, pid lines left out
    const char *err;             // standard error
    int status;
    const char *file = nullptr;  // a file that must hold `text` afterwards,
    const char *text = nullptr;  // or not exist when `text` is null
};

TEST(Fault, FailuresEndWithTheirMessage)
{
    const std::vector<row> rows = {
        // RLIMIT_NOFILE 4 leaves one descriptor: `in` takes it, and neither
        // a second file nor a pipe can be had; the shell ends as for any
        // file it cannot open, or any pipe it cannot make.
        {nofile4, "cat < in > out\necho after\n", "", "out: Too many open files\n", 2, "out"},
        {nofile4, "cat < in | cat\necho after\n", "", "cmd_delim_handle: Too many open files\n", 1},
        {nofile4, "cat < in >> out\n", "", "out: Too many open files\n", 2, "out"},
        {nofile4, "cat < in < in\n", "", "in: Too many open files\n", 2},
        {nofile4, "cat < in\necho b > out\ncat < out\n", "data\nb\n", "", 0, "out", "b\n"},
        // Permissions (which do not stop root): the file stays as it was.
        {as_nobody, "echo a > ro\necho after\n", "", "ro: Permission denied\n", 2, "ro", "old\n"},
        {as_nobody, "echo a >> ro\n", "", "ro: Permission denied\n", 2, "ro", "old\n"},
        {as_nobody, "echo a; cat < secret\necho after\n", "a\n", "secret: Permission denied\n", 2},
        {as_nobody, "echo a > locked/new\n", "", "locked/new: Permission denied\n", 2, "locked/new"},
        {as_nobody, "cd closed || echo no\necho after\n", "no\nafter\n", "cd: Permission denied\n", 0},
        // Programs that cannot run fail with status 1, and the shell goes on.
        {plain, "./in || echo failed\necho after\n", "failed\nafter\n", "./in: Permission denied\n", 0},
        {plain, "./dir && echo wrong\necho after\n", "after\n", "./dir: Permission denied\n", 0},
        {plain, "./script || echo failed\n", "failed\n", "./script: No such file or directory\n", 0},
        {plain, "/nonexistent/prog\necho after\n", "after\n", "/nonexistent/prog: No such file or directory\n", 0},
        {plain, "./in | cat\n./dir &\necho after\n", "after\n", "./in: Permission denied\n./dir: Permission denied\n", 0},
        {plain, "./dir > out < in\ncat out\n", "", "./dir: Permission denied\n", 0, "out", ""},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.in);
        temp_dir d;
        setup(d);
        run_opts o;
        o.cwd = d.path;
        if (r.run == nofile4) {
            o.nofile = 4;
            o.close_inherited = true;
            without_leak_check(&o);
        }
        wrap w;
        w.as_nobody = true;
        run_result res = r.run == as_nobody ? run_wrapped(r.in, o, w) : husk_run(r.in, o);
        SKIP_IF_UNWRAPPED(res);
        std::string rest;
        pid_lines_split(res.out, &rest);
        EXPECT_EQ(r.out, rest);
        EXPECT_EQ(r.err, res.err);
        EXPECT_EQ(r.status, res.status);
        if (r.file && r.text) {
            EXPECT_EQ(r.text, read_file(d / r.file)) << r.file;
        } else if (r.file) {
            EXPECT_FALSE(file_exists(d / r.file)) << r.file;
        }
    }
}

// The process limit stops the fork of a background command: the shell says
// so and ends with status 1, having reported the commands it started.
TEST(Fault, ProcessLimitWhileForking)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs root, to run the shell as nobody, whose process "
                        "count the limit can be set against";
    temp_dir d;
    setup(d);
    run_opts o;
    o.cwd = d.path;
    without_leak_check(&o);
    wrap w;
    w.as_nobody = true;
    w.nproc = 4;  // the shell and at most three children
    std::string in;
    for (int i = 0; i < 8; i++)
        in += "sleep 1 &\n";
    run_result r = run_wrapped(in + "echo never\n", o, w);
    SKIP_IF_UNWRAPPED(r);
    std::string rest;
    EXPECT_LE(pid_lines_split(r.out, &rest), 3);
    EXPECT_EQ("", rest);
    EXPECT_EQ("fork: Resource temporarily unavailable\n", r.err);
    EXPECT_EQ(1, r.status);
}

// The shell catches no signal: when the reader of its output goes away, its
// next write kills it with SIGPIPE, as for any filter (the process ids of
// background commands are written at exit). Programs it starts meet the
// same fate on their own, and the shell goes on.
TEST(Fault, ReaderGoesAway)
{
    temp_dir d;
    run_opts o;
    o.close_stdout_early = true;
    o.cwd = d.path;
    std::string many;
    for (int i = 0; i < 100000; i++)
        many += "word " + std::to_string(i) + "\n";
    o.args = {"-s"};
    EXPECT_EQ(128 + SIGPIPE, husk_run(many, o).status);
    o.args = {};
    EXPECT_EQ(128 + SIGPIPE, husk_run("true &\n", o).status);
    run_result r = husk_run("seq 100000\necho done > f\n", o);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("done\n", read_file(d / "f"));
}

// Output that cannot be written is lost data, and the shell must not report
// success: on a full disk, or when the reader has gone and SIGPIPE is
// ignored, it says so and ends with status 1.
TEST(Fault, WriteErrorIsNotSuccess)
{
    wrap w;
    w.out_path = "/dev/full";
    run_opts o;
    o.args = {"-s"};
    run_result r = run_wrapped("a b\n", o, w);
    SKIP_IF_UNWRAPPED(r);
    EXPECT_EQ("husk: write error: No space left on device\n", r.err);
    EXPECT_EQ(1, r.status);

    w = {};
    w.sigpipe_ignored = true;
    o.close_stdout_early = true;
    r = run_wrapped("a b\n", o, w);
    EXPECT_EQ("husk: write error: Broken pipe\n", r.err);
    EXPECT_EQ(1, r.status);
}

// Lines of random bytes without quotes, backslashes, operators, slashes,
// dots or newlines: control characters, invalid UTF-8, now and then a NUL
// (the line ends there for the shell). Each line splits into words exactly
// at the six spaces; run with no program to be found, each first word is
// reported as missing, byte for byte.
TEST(Hostile, BinaryWords)
{
    std::mt19937 rng(20261208);
    std::string in, listed, missing;
    for (int line = 0; line < 300; line++) {
        std::string text, word;
        for (int i = rng() % 40; i > 0; i--) {
            char c;
            do
                c = static_cast<char>(rng() % 8 ? rng() % 256 : " \t\r\v\f"[rng() % 5]);
            while (strchr("'\"\\;&|<>/.\n", c) || (c == '\0' && rng() % 8));
            text += c;
        }
        in += text + "\n";
        std::vector<std::string> words;
        for (char c : text.substr(0, text.find('\0')) + " ") {
            if (!strchr(" \t\r\v\f", c)) {
                word += c;
            } else if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
        }
        for (size_t i = 0; i < words.size(); i++)
            listed += (i ? " [" : "[") + words[i] + (i + 1 < words.size() ? "]" : "]\n");
        if (!words.empty())
            missing += words[0] + ": No such file or directory\n";
    }
    run_result r = husk_run_s(in);
    EXPECT_TRUE(r.out == listed);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(0, r.status);

    temp_dir d;
    run_opts o;
    o.cwd = d.path;
    o.env = {"PATH=/nonexistent", "HOME=" + d.path};
    r = husk_run(in + "/bin/echo end\n", o);
    EXPECT_EQ("end\n", r.out);
    EXPECT_TRUE(r.err == missing);
    EXPECT_EQ(0, r.status);
}

// Any bytes at all: listed, the shell ends with status 0 and only syntax
// messages; run (no program can be found, and no path leaves the directory)
// it ends with one of its own statuses, never by a signal.
TEST(Hostile, Garbage)
{
    for (unsigned seed = 1; seed <= 8; seed++) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::string in;
        for (int i = 0; i < 8192; i++) {
            char c = static_cast<char>(rng() % 256);
            in += c && strchr("/.", c) ? 'x' : c;
        }
        run_result r = husk_run_s(in);
        EXPECT_EQ(0, r.status);
        std::istringstream err(r.err);
        for (std::string l; std::getline(err, l);)
            EXPECT_TRUE(l.rfind("Error: '", 0) == 0 || l == "Error: unexpected end of input.") << l;

        temp_dir d;
        run_opts o;
        o.cwd = d.path;
        o.env = {"PATH=/nonexistent", "HOME=" + d.path};
        r = husk_run(in, o);
        EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 2) << r.status;
        EXPECT_FALSE(r.timed_out);
    }
}

// A line of 100 MB, listed whole; run, a program cannot take so long an
// argument, and the shell reports it and goes on.
TEST(Hostile, HundredMegabyteLine)
{
    std::string word(100 << 20, 'x'), plain(word.size() - 2, 'x');
    word[1000] = word[word.size() - 1000] = '"';  // a quoted stretch inside
    run_opts o;
    o.args = {"-s"};
    o.timeout_ms = 120000;
    run_result r = husk_run(word + " y\nz\n", o);
    EXPECT_TRUE(r.out == "[" + plain + "] [y]\n[z]\n") << r.out.size();
    EXPECT_EQ("", r.err);
    EXPECT_EQ(0, r.status);

    o.args = {};
    r = husk_run("/bin/true " + word + "\necho after\n", o);
    EXPECT_EQ("after\n", r.out);
    EXPECT_EQ("/bin/true: Argument list too long\n", r.err);
    EXPECT_EQ(0, r.status);
}

}  // namespace
