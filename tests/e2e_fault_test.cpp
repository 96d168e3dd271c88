// e2e_fault_test.cpp - the shell when the system or its input works against
// it: descriptor and process limits, files it may not open, programs that
// cannot run, a reader that goes away, input that is not text, a line of
// 100 MB. Each case ends with its message and status, and the lines after
// a failure the shell survives still run.
#include <gtest/gtest.h>

#include <random>

#include "e2e_support.h"
#include "model.h"

using namespace husk_test;

namespace {

// A directory with a file of each kind the rows need, open to nobody.
void setup(const temp_dir &d)
{
    chmod(d.path.c_str(), 0777);
    write_file(d / "in", "data\n");
    write_file(d / "ro", "old\n");
    chmod((d / "ro").c_str(), 0444);
    mkdir((d / "dir").c_str(), 0755);
}

TEST(Fault, FailuresEndWithTheirMessage)
{
    check_rows({
        // RLIMIT_NOFILE 4 leaves one descriptor: a file can be opened, but
        // when `in` takes it, neither a second file nor a pipe can be had;
        // the shell ends as for any file it cannot open, or any pipe it
        // cannot make.
        {.script = "cat < in > out\necho after\n", .run = {.nofile = 4}, .err = "out: Too many open files\n", .status = 2, .files = {{"out", absent}}},
        {.script = "echo a > f\ncat f\ncat < in | cat\necho after\n", .run = {.nofile = 4}, .out = "a\n", .err = "cmd_delim_handle: Too many open files\n", .status = 1},
        {.script = "cat < in\necho b > out\ncat < out\n", .run = {.nofile = 4}, .out = "data\nb\n", .files = {{"out", "b\n"}}},
        {.script = "true > out &\necho after\n", .run = {.nofile = 4}, .err = "/dev/null: Too many open files\n", .status = 2},
        // A program whose descriptors cannot be put in place never runs with
        // the shell's own.
        {.script = "echo a > f\ncat f\n", .run = {.dup2_fails = true}, .err = "echo: Bad file descriptor\n", .files = {{"f", ""}}},
        // Input that cannot be read is no end of input; input that is not
        // there yet is waited for: `echo two` is sent once the shell polls
        // its empty input, as the kernel's wait channel for it says.
        {.run = {.stdin_path = "dir"}, .err = "husk: read error: Is a directory\n", .status = 1},
        {.run = {.feed = slowly({"echo one\nsh -c 'until grep -qs poll /proc/$PPID/wchan; do sleep 0.01; done; true > sync' &\n",
                                 "echo two\n"}), .stdin_nonblock = true}, .out = "one\ntwo\n", .pids = 1},
        // Permissions (which do not stop root): the file stays as it was.
        {.script = "echo a > ro\necho after\n", .run = {.as_nobody = true}, .err = "ro: Permission denied\n", .status = 2, .files = {{"ro", "old\n"}}},
        // Programs that cannot run fail with status 1, and the shell goes on.
        {.script = "./in || echo failed\necho after\n", .out = "failed\nafter\n", .err = "./in: Permission denied\n"},
        {.script = "./in | cat\n./dir &\necho after\n", .out = "after\n", .pids = 2, .err = "./in: Permission denied\n./dir: Permission denied\n"},
        {.script = "./dir > out < in\ncat out\n", .err = "./dir: Permission denied\n", .files = {{"out", ""}}},
    }, setup);
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
    std::string in;
    for (int i = 0; i < 8; i++)
        in += idle + " &\n";
    // the shell and at most three children
    run_result r = husk_run(in + "echo never\n", {.as_nobody = true, .nproc = 4, .cwd = d.path});
    if (r.not_started)
        GTEST_SKIP() << r.err;
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
    std::string many;
    for (int i = 0; i < 100000; i++)
        many += "word " + std::to_string(i) + "\n";
    check_rows({
        {.script = many, .run = {.args = {"-s"}, .close_stdout_early = true}, .status = 128 + SIGPIPE},
        {.script = "true &\n", .run = {.close_stdout_early = true}, .status = 128 + SIGPIPE},
        {.script = "seq 100000\necho done > f\n", .run = {.close_stdout_early = true}, .files = {{"f", "done\n"}}},
    });
}

// Standard output left non-blocking, with a reader slower than the shell
// (see husk_run): a listing of several times the writer's block, written
// mostly in partial writes, arrives whole and in order.
TEST(Fault, SlowReaderOfNonBlockingOutput)
{
    std::string in;
    for (int i = 0; i < 30000; i++)
        in += std::to_string(i) + "w x\n";
    run_result r = husk_run(in, {.args = {"-s"}, .stdout_slow = true});
    std::string want = ref_listing(in).out;
    auto right = std::mismatch(want.begin(), want.end(), r.out.begin(), r.out.end());
    EXPECT_TRUE(r.out == want) << r.out.size() << " bytes of " << want.size() << ", the first "
                               << right.first - want.begin() << " right";
    EXPECT_EQ("", r.err);
    EXPECT_EQ(0, r.status);
}

// Each write of the listing ends between two lines, also around lines
// longer than the writer's room for a whole line at once, so that another
// writer of the same pipe never cuts into one of its lines.
TEST(Fault, WritesEndBetweenLines)
{
    std::string in;
    for (int i = 0; i < 20; i++) {
        for (int j = 0; j < 300; j++)
            in += "a b\n";
        for (int j = 0; j < 2000; j++)
            in += "word ";
        in += "\n";
    }
    run_result r = husk_run(in, {.args = {"-s"}, .stdout_packets = true});
    EXPECT_TRUE(r.out == ref_listing(in).out);
    EXPECT_EQ(0, r.torn_writes);
}

// Output that cannot be written is lost data, and the shell must not report
// success: on a full disk, or when the reader has gone and SIGPIPE is
// ignored, it says so and ends with status 1. A listing ends at its first
// failed write, even on endless input; running, the shell goes on and
// says so at the end.
TEST(Fault, WriteErrorIsNotSuccess)
{
    const char *endless = "exec yes 'echo a' 2> /dev/null";
    check_rows({
        {.script = "a b\n", .run = {.args = {"-s"}, .out_path = "/dev/full"}, .err = "husk: write error: No space left on device\n", .status = 1},
        {.script = "a b\n", .run = {.args = {"-s"}, .sigpipe_ignored = true, .close_stdout_early = true}, .err = "husk: write error: Broken pipe\n", .status = 1},
        {.run = {.args = {"-s"}, .out_path = "/dev/full", .feed = endless}, .err = "husk: write error: No space left on device\n", .status = 1},
        {.script = "true &\necho x > f\n", .run = {.out_path = "/dev/full"}, .err = "husk: write error: No space left on device\n", .status = 1, .files = {{"f", "x\n"}}},
    });
}

// Lines of random bytes without quotes, backslashes, operators, slashes,
// dots or newlines: control characters, invalid UTF-8, now and then a NUL
// (the line is reported and skipped). Run with no program to be found, each
// first word is reported as missing, byte for byte.
TEST(Hostile, BinaryWords)
{
    std::mt19937 rng(20261208);
    std::string in, missing;
    for (int line = 0; line < 300; line++) {
        std::string text;
        for (int i = rng() % 40; i > 0; i--) {
            char c;
            do
                c = static_cast<char>(rng() % 8 ? rng() % 256 : " \t\r\v\f"[rng() % 5]);
            while (strchr("'\"\\;&|<>/.\n", c) || (c == '\0' && rng() % 8));
            text += c;
        }
        in += text + "\n";
        std::vector<token> words = ref_tokens(text);
        if (text.find('\0') != std::string::npos)
            missing += msg_nul;
        else if (!words.empty())
            missing += words[0].text + ": No such file or directory\n";
    }
    temp_dir d;
    run_result r = husk_run(in + "/bin/echo end\n", {.env = {"PATH=/nonexistent", "HOME=" + d.path}, .cwd = d.path});
    EXPECT_EQ("end\n", r.out);
    EXPECT_TRUE(r.err == missing);
    EXPECT_EQ(0, r.status);
}

// Any bytes at all: listed, the shell writes what the model says and ends
// with status 0; run (no program can be found, and no path leaves the
// directory) it ends with one of its own statuses, never by a signal.
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
        listing want = ref_listing(in);
        run_result r = husk_run(in, {.args = {"-s"}});
        EXPECT_TRUE(r.out == want.out);
        EXPECT_EQ(want.err, r.err);
        EXPECT_EQ(0, r.status);

        temp_dir d;
        r = husk_run(in, {.env = {"PATH=/nonexistent", "HOME=" + d.path}, .cwd = d.path});
        EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 2) << r.status;
        EXPECT_FALSE(r.timed_out);
    }
}

// A line of 100 MB, listed whole; run, a program cannot take so long an
// argument, and the shell reports it and goes on.
TEST(Hostile, HundredMegabyteLineSlow)
{
    std::string word(100 << 20, 'x'), plain(word.size() - 2, 'x');
    word[1000] = word[word.size() - 1000] = '"';  // a quoted stretch inside
    run_result r = husk_run(word + " y\nz\n", {.args = {"-s"}, .timeout_ms = 120000});
    EXPECT_TRUE(r.out == "[" + plain + "] [y]\n[z]\n") << r.out.size();
    EXPECT_EQ("", r.err);
    EXPECT_EQ(0, r.status);

    r = husk_run("/bin/true " + word + "\necho after\n", {.timeout_ms = 120000});
    EXPECT_EQ("after\n", r.out);
    EXPECT_EQ("/bin/true: Argument list too long\n", r.err);
    EXPECT_EQ(0, r.status);
}

}  // namespace
