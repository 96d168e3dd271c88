// e2e_exec_test.cpp - the built shell running command lines: operators,
// pipelines, `cd`, redirections, every fatal path, and what it leaves
// behind (children, descriptors, memory). Each case runs in a fresh
// directory. Which program runs with which words, input and output, and
// what each redirection opens, fuzz_exec holds against its model for
// every short line; here the real launches, statuses and failures.
#include <gtest/gtest.h>

#include <map>

#include "e2e_support.h"
#include "model.h"

using namespace husk_test;

namespace {

std::string repeat(const std::string &s, int n)
{
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

// tests/probe.sh, which describes the shell as "<VmRSS> <zombie children>
// <descriptors>" once no other child runs and at least `zombies` are
// zombies (it looks for up to 10 s); probe() is a line that runs it.
const std::string probe_sh = "sh '" HUSK_PROBE "'";

std::string probe(int zombies)
{
    return probe_sh + " " + std::to_string(zombies) + "\n";
}

// For a row fed slowly(): waits until every child of the shell has ended,
// then opens `sync`, so that the next bytes come when no background
// program that should have read /dev/null instead can still be reading.
const std::string sync_after_children = probe_sh + " > /dev/null; true > sync";

// Field `i` (0 to 2) of each probe line in `out`, a line each.
std::string probe_field(const std::string &out, int i)
{
    std::string fields;
    std::istringstream lines(out);
    for (std::string l, f[3]; std::getline(lines, l);)
        if (std::istringstream(l) >> f[0] >> f[1] >> f[2])
            fields += f[i] + "\n";
    return fields;
}

TEST(Exec, Operators)
{
    check_rows({
        {.script = "sh -c 'exit 3' || echo failed; sh -c 'exit 3' && echo BAD; true || echo BAD; true && echo ok\n", .out = "failed\nok\n"},
        {.script = "sh -c 'kill -9 $$' || echo killed; sh -c 'kill -9 $$' && echo ok\n", .out = "killed\n"},
        {.script = "nosuch_prog || echo no\necho next\n", .out = "no\nnext\n", .err = "nosuch_prog: No such file or directory\n"},
        {.script = "\"\" || echo failed\n", .out = "failed\n", .err = "No such file or directory\n"},
        // pipelines: one pid line for every stage that is not waited for
        {.script = "echo abc | tr a-z A-Z | tr -d B\n", .out = "AC\n", .pids = 2},
        {.script = "seq -f x%g 100000 | cat | tail -n 1\n", .out = "x100000\n", .pids = 2},
        {.script = "nosuch_prog | cat\n", .pids = 1, .err = "nosuch_prog: No such file or directory\n"},
        // an earlier stage outlives the last one: the shell waits for it
        // too (the stage writes f once the shell's system call, as /proc
        // shows it, is a wait for this stage's process id)
        {.script = "sh -c 'until grep -qs \"^[0-9]* $(printf 0x%x $$) \" /proc/$PPID/syscall; do sleep 0.01; done; "
                   "echo x > f' | true\ncat f\n", .out = "x\n", .pids = 1},
        // cd runs in the shell, also in the background and in a pipeline
        {.script = "mkdir x\ncd x &\npwd\n", .out = "@/x\n0\n"},
        {.script = "mkdir x\ncd x | cat\npwd\n", .out = "@/x\n0\n"},
        {.script = "mkdir x\ntrue | cd x\npwd\n", .out = "@/x\n", .pids = 1},
        // background commands read /dev/null, not the script, unless given
        // input: they have ended before `echo after` is sent; a program in
        // the foreground reads the script after its line
        {.run = {.feed = slowly({"cat | cat & " + sync_after_children + "\n", "echo after\n"})}, .out = "after\n", .pids = 2},
        {.run = {.feed = slowly({"echo x > f | cat & " + sync_after_children + "\n", "echo after\n"})}, .out = "after\n", .pids = 2},
        {.run = {.feed = slowly({"true > sync; head -n 1\n", "echo next\necho after\n"})}, .out = "echo next\n"},
        // so does a stage after a | whose pipe was never made; it still runs
        {.run = {.feed = slowly({"true > sync; false && echo a | cat\n", "echo after\n"})}, .out = "after\n"},
        {.run = {.feed = slowly({"true > sync; echo x > f | cat\n", "echo after\n"})}, .out = "after\n", .pids = 1, .files = {{"f", "x\n"}}},
        // cd
        {.script = "cd\npwd\n", .out = "/\n"},
        {.script = "cd\npwd\ncd || echo no\n", .run = {.env = {"HOME"}}, .out = "@\nno\n", .err = "cd: Bad address\ncd: Bad address\n"},
        {.script = "cd a b || echo no\npwd\n", .out = "no\n@\n", .err = "cd: Too many arguments.\n"},
        {.script = "cd missing || echo no\npwd\n", .out = "no\n@\n", .err = "cd: No such file or directory\n"},
        {.script = "cd /tmp && pwd\n", .out = "/tmp\n"},
    });
}

TEST(Exec, Redirections)
{
    check_rows({
        {.script = "echo a > a\necho b > b\ncat < a < b\n", .out = "b\n"},
        {.script = "echo in > f\necho put >> f\ntrue | cat < f\n", .out = "in\nput\n", .pids = 1},
        // fatal: the shell ends, nothing after the failure runs
        {.script = "cat << EOF\necho after\n", .err = "get_file_fd: unknown redir_option.\n", .status = 1},
        {.script = "echo a; cat < missing; echo b\necho c\n", .out = "a\n", .err = "missing: No such file or directory\n", .status = 2},
        {.script = "echo a > f | cat < missing\n", .pids = 1, .err = "missing: No such file or directory\n", .status = 2, .files = {{"f", "a\n"}}},
        {.script = "echo a > f; cat > f < missing\n", .err = "missing: No such file or directory\n", .status = 2, .files = {{"f", ""}}},
        // started with standard error closed, nothing is written into files
        {.script = "echo a > f; cat > f < missing\n", .run = {.stderr_closed = true}, .status = 2, .files = {{"f", ""}}},
        {.script = "nosuch_prog > out\necho a | cat > f\n", .run = {.stderr_closed = true}, .pids = 1, .files = {{"out", ""}, {"f", "a\n"}}},
    });
}

// The shell's result lines go out whole, whatever the size of its output
// buffer: a background `cd` that fails gives a line "-1", three bytes,
// which no boundary of a buffer whose size is a power of two falls after,
// and a program writes MARK after every 3 KiB of them. A line split where
// the buffer filled would have a MARK inside. Where the MARKs land depends
// on the buffer's size, so the lines are counted. (Standard error is
// closed: the messages of cd would only take time.)
TEST(Exec, ResultLinesGoOutWhole)
{
    const int lines = 1 << 15, every = 1 << 10;  // 96 KiB of "-1" lines
    std::string in;
    for (int i = 1; i <= lines; i++)
        in += i % every ? "cd /nonexistent &\n" : "cd /nonexistent &\necho MARK\n";
    run_result r = husk_run(in, {.stderr_closed = true});
    std::map<std::string, int> count;
    std::istringstream out(r.out);
    for (std::string l; std::getline(out, l);)
        count[l]++;
    EXPECT_EQ((std::map<std::string, int>{{"-1", lines}, {"MARK", lines / every}}), count);
    EXPECT_EQ(0, r.status);
}

TEST(Exec, CreatedFilesFollowTheUmask)
{
    for (mode_t mask : {0000, 0022, 0027, 0077, 0777}) {
        temp_dir d;
        mode_t old = umask(mask);
        husk_run("> w\n>> a\n", {.cwd = d.path});
        umask(old);
        for (const char *f : {"w", "a"}) {
            struct stat st;
            ASSERT_EQ(0, stat((d / f).c_str(), &st)) << f;
            EXPECT_EQ(0666 & ~mask, st.st_mode & 0777) << f << " umask " << mask;
        }
    }
}

// A stage collected by any-child wait would wait for the background sleep,
// and the stages of a pipeline sent to the background are nobody's to wait
// for, not even a later command's of the same line.
TEST(Exec, PipelineDoesNotWaitForBackground)
{
    check_rows({{.script = idle + " &\ncd / | cat\n" + idle + " | true & echo more\necho done\n",
                 .run = {.timeout_ms = 10000}, .out = "more\ndone\n0\n", .pids = 3}});
}

TEST(Exec, FinishedBackgroundChildrenAreCollected)
{
    // On one line nothing is collected: all 75 children end as zombies.
    // Before the next line, all are collected.
    std::string in = repeat("true & true | true & ", 25) + probe(75) + "true & " + probe(1) + probe(0);
    run_result r = husk_run(in);
    std::string rest;
    EXPECT_EQ(76, pid_lines_split(r.out, &rest));
    EXPECT_EQ("75\n1\n0\n", probe_field(rest, 1));
    EXPECT_EQ("", r.err);
}

// A long script of every kind of line leaves nothing behind. Programs get
// only 0, 1, 2 (ls opens 3 for the directory); the shell itself keeps 0, 1
// and 2 through pipelines and redirections of every kind, also where a
// second redirection replaces a file or a pipe; and its resident memory
// grows by at most 256 KiB after the first block, once its buffers have
// their working size (a sanitizer build sets freed memory aside on purpose,
// and checks for leaks at the shell's exit instead). About half of the
// lines start no process, so that the 8,500 lines stay quick.
TEST(Exec, DescriptorHygieneSlow)
{
    std::string in = "echo a > f\nmkdir d\n"
        "ls -m /proc/self/fd > p1\nls -m /proc/self/fd | cat > p2\n"
        "true | ls -m /proc/self/fd | cat > p3\nls -m /proc/self/fd > p4 &\n"
        "cat < f < f > g\ntrue | cat < f > g\n";
    const std::string block = "echo a > w | true\ncat < f | cat > g\ncd . | cat\ntrue | cd .\n> h\n"
        "false && cat < f > g\ntrue | true &\ncat < f >> g &\ncd . < f > g\ncd d &&\ncd ..\n"
        "cd 'no\nne' || cd .\n| x\na ; ; b\nnosuch_prog a\nsh -c 'kill -9 $$'\n";
    const std::string block_err = "cd: No such file or directory\n" + msg_unexpected("|") +
        msg_unexpected(";") + "nosuch_prog: No such file or directory\n";
    temp_dir d;
    run_result r = husk_run(in + block + probe(0) + repeat(block, 500) + probe(0), {.cwd = d.path, .timeout_ms = 120000});
    EXPECT_TRUE(r.err == repeat(block_err, 501)) << r.err.substr(0, 500);
    EXPECT_EQ("0,1,2\n0,1,2\n", probe_field(r.out, 2));
    for (const char *f : {"p1", "p2", "p3", "p4"})
        EXPECT_EQ("0, 1, 2, 3\n", read_file(d / f)) << f;
    std::istringstream rss(probe_field(r.out, 0));
    long first = 0, last = 0;
    rss >> first >> last;
    bool sanitizer = read_file(husk_bin()).find("__asan_init") != std::string::npos;
    EXPECT_TRUE(sanitizer || last <= first + 256) << "resident " << first << " KiB, then " << last;
}

}  // namespace
