// e2e_exec_test.cpp - the built shell running command lines: operators,
// pipelines, `cd`, redirections, every fatal path, and what it leaves
// behind (children, descriptors). Each case runs in a fresh directory.
#include <gtest/gtest.h>

#include "e2e_support.h"

using namespace husk_test;

namespace {

const char *const absent = "\x01";  // the file must not exist

struct row {
    const char *in;
    const char *out;         // standard output without the pid lines; @ is the directory
    int pids;                // lines that are process ids
    const char *err = "";    // standard error
    int status = 0;          // the shell's exit status
    const char *file = "";   // a file to check afterwards, if not empty
    const char *text = "";   // what it holds, or `absent`
};

std::string at_dir(std::string s, const std::string &dir)
{
    for (size_t p; (p = s.find('@')) != std::string::npos;)
        s.replace(p, 1, dir);
    return s;
}

void check_rows(const std::vector<row> &rows)
{
    for (const row &r : rows) {
        SCOPED_TRACE(r.in);
        temp_dir d;
        run_opts o;
        o.cwd = d.path;
        run_result res = husk_run(r.in, o);
        std::string rest;
        EXPECT_EQ(r.pids, pid_lines_split(res.out, &rest));
        EXPECT_EQ(at_dir(r.out, d.path), rest);
        EXPECT_EQ(r.err, res.err);
        EXPECT_EQ(r.status, res.status);
        if (*r.file == '\0')
            continue;
        if (r.text == absent)
            EXPECT_FALSE(file_exists(d / r.file));
        else
            EXPECT_EQ(r.text, read_file(d / r.file));
    }
}

TEST(Exec, Operators)
{
    check_rows({
        {"true && echo a; false && echo b\n", "a\n", 0},
        {"false || echo a; true || echo b\n", "a\n", 0},
        {"false && echo a || echo b\n", "b\n", 0},
        {"true || echo a && echo b\n", "b\n", 0},
        {"false && echo a && echo b || echo c\n", "c\n", 0},
        {"true && false && echo a || echo b ; echo c\n", "b\nc\n", 0},
        {"echo a;echo b;\n", "a\nb\n", 0},
        {"sh -c 'exit 3' || echo failed; sh -c 'exit 3' && echo ok\n", "failed\n", 0},
        {"sh -c 'kill -9 $$' || echo killed; sh -c 'kill -9 $$' && echo ok\n", "killed\n", 0},
        {"nosuch_prog || echo no\necho next\n", "no\nnext\n", 0, "nosuch_prog: No such file or directory\n"},
        {"echo cd\n", "cd\n", 0},
        // pipelines: one pid line for every stage that is not waited for
        {"echo 'a b' | tr a-z A-Z\n", "A B\n", 1},
        {"echo abc | tr a-z A-Z | tr -d B\n", "AC\n", 2},
        {"seq -f x%g 100000 | cat | tail -n 1\n", "x100000\n", 2},
        {"true | false || echo b\n", "b\n", 1},
        {"false | echo a && echo b\n", "a\nb\n", 1},
        {"nosuch_prog | cat\n", "", 1, "nosuch_prog: No such file or directory\n"},
        {"false && echo a | tr a b\n", "", 0},
        // background commands
        {"true &\ntrue | true &\n", "", 3},
        {"true & echo a\n", "a\n", 1},
        {"mkdir x\ncd x &\npwd\n", "@/x\n0\n", 0},
        {"mkdir x\ncd x | cat\npwd\n", "@/x\n0\n", 0},
        {"mkdir x\ntrue | cd x\npwd\n", "@/x\n", 1},
        // cd
        {"cd\npwd\n", "/\n", 0},
        {"cd a b || echo no\npwd\n", "no\n@\n", 0, "cd: Too many arguments.\n"},
        {"cd missing || echo no\npwd\n", "no\n@\n", 0, "cd: No such file or directory\n"},
        {"cd /tmp && pwd\n", "/tmp\n", 0},
    });
}

TEST(Exec, Redirections)
{
    check_rows({
        {"echo a > f\necho b > f\n", "", 0, "", 0, "f", "b\n"},
        {"echo a >> f\necho b >> f\n", "", 0, "", 0, "f", "a\nb\n"},
        {"echo a > f\n> f && echo ok\n", "ok\n", 0, "", 0, "f", ""},
        {"ls > a > b\n", "", 0, "", 0, "a", ""},
        {"ls > a > b\n", "", 0, "", 0, "b", "a\nb\n"},
        {"echo a > a\necho b > b\ncat < a < b\n", "b\n", 0},
        {"echo a b > f\ncat < f | tr a A\n", "A b\n", 1},
        {"echo in > f\ntrue | cat < f\n", "in\n", 1},
        {"echo a > f | tr a b\n", "", 1, "", 0, "f", "a\n"},
        {"ls > out -l\n", "", 0, "", 0, "out", "out\n"},
        {"echo x > f\n< f\n", "", 0},
        // skipped commands open nothing
        {"echo old > f\nfalse && echo x > f\n", "", 0, "", 0, "f", "old\n"},
        {"true || echo x >> f\n", "", 0, "", 0, "f", absent},
        {"false && cat < missing || echo on\n", "on\n", 0},
        // fatal: the shell ends, nothing after the failure runs
        {"cat << EOF\necho after\n", "", 0, "get_file_fd: unknown redir_option.\n", 1},
        {"echo a; cat < missing; echo b\necho c\n", "a\n", 0, "missing: No such file or directory\n", 2},
        {"echo a > nodir/f\necho b\n", "", 0, "nodir/f: No such file or directory\n", 2},
        {"mkdir d\necho a > d\n", "", 0, "d: Is a directory\n", 2},
        {"echo a > f | cat < missing\n", "", 1, "missing: No such file or directory\n", 2, "f", "a\n"},
        {"echo a > f; cat > f < missing\n", "", 0, "missing: No such file or directory\n", 2, "f", ""},
    });
}

TEST(Exec, CdWithoutHome)
{
    temp_dir d;
    run_opts o;
    o.cwd = d.path;
    o.env = {"HOME"};
    run_result r = husk_run("cd\npwd\ncd || echo no\n", o);
    EXPECT_EQ(d.path + "\nno\n", r.out);
    EXPECT_EQ("cd: Bad address\ncd: Bad address\n", r.err);
}

TEST(Exec, CreatedFilesFollowTheUmask)
{
    for (mode_t mask : {0000, 0022, 0027, 0077, 0777}) {
        temp_dir d;
        mode_t old = umask(mask);
        run_opts o;
        o.cwd = d.path;
        husk_run("> w\n>> a\n", o);
        umask(old);
        for (const char *f : {"w", "a"}) {
            struct stat st;
            ASSERT_EQ(0, stat((d / f).c_str(), &st)) << f;
            EXPECT_EQ(0666 & ~mask, st.st_mode & 0777) << f << " umask " << mask;
        }
    }
}

// RLIMIT_NOFILE 4 leaves the shell one free descriptor: a file can be
// opened, a pipe cannot.
TEST(Exec, PipeThatCannotBeMade)
{
    temp_dir d;
    run_opts o;
    o.cwd = d.path;
    o.nofile = 4;
    o.close_inherited = true;
    run_result r = husk_run("echo a > f\ncat f\necho a | cat\necho b\n", o);
    EXPECT_EQ("a\n", r.out);
    EXPECT_EQ("cmd_delim_handle: Too many open files\n", r.err);
    EXPECT_EQ(1, r.status);
}

// A stage collected by any-child wait would wait for the background sleep,
// and the stages of a pipeline sent to the background are nobody's to wait
// for, not even a later command's of the same line.
TEST(Exec, PipelineDoesNotWaitForBackground)
{
    run_opts o;
    o.timeout_ms = 10000;
    const std::string sleeper = "sh -c 'exec sleep 30 >/dev/null 2>&1'";
    run_result r = husk_run(sleeper + " &\ncd / | cat\n" + sleeper +
                                " | true & echo more\necho done\n", o);
    EXPECT_FALSE(r.timed_out);
    std::string rest;
    EXPECT_EQ(3, pid_lines_split(r.out, &rest));
    EXPECT_EQ("more\ndone\n0\n", rest);
    std::istringstream lines(r.out);
    for (std::string l; std::getline(lines, l);)
        if (l != "0" && isdigit(static_cast<unsigned char>(l[0])))
            kill(std::stoi(l), SIGKILL);
}

// Counts the zombie children of the shell from a program the shell starts,
// looking again for up to 10 s until there are at least `min`.
std::string count_zombies(int min)
{
    return "sh -c 'n=0; while :; do z=0; for f in /proc/[0-9]*/stat; do"
           " read -r s 2>/dev/null < $f || continue; set -- ${s##*) };"
           " [ $1 = Z ] && [ $2 = $PPID ] && z=$((z+1)); done;"
           " [ $z -ge $0 ] || [ $n -ge 100 ] && break; n=$((n+1)); sleep 0.1; done;"
           " echo zombies $z' " + std::to_string(min) + "\n";
}

TEST(Exec, FinishedBackgroundChildrenAreCollected)
{
    std::string in;
    for (int i = 0; i < 25; i++)
        in += "true &\ntrue | true &\n";
    // On one line nothing is collected yet; before the next line, all is.
    in += "sleep 0.3\ntrue & " + count_zombies(1) + count_zombies(0);
    run_result r = husk_run(in);
    std::string rest;
    EXPECT_EQ(76, pid_lines_split(r.out, &rest));
    EXPECT_EQ("zombies 1\nzombies 0\n", rest);
}

// Programs get only 0, 1, 2 (ls opens 3 for the directory); the shell
// itself keeps 0, 1 and 2 through pipelines and redirections of every kind.
TEST(Exec, DescriptorHygiene)
{
    std::string in = "sh -c 'ls -m /proc/$PPID/fd > before'\necho a > f\n"
        "ls -m /proc/self/fd > p1\nls -m /proc/self/fd | cat > p2\n"
        "true | ls -m /proc/self/fd | cat > p3\nls -m /proc/self/fd > p4 &\n";
    for (int i = 0; i < 200; i++)
        in += "echo a > w | true\ncat < f | cat > g\ncd . | cat\ntrue | cd .\n> h\n"
              "false && cat < f > g\ntrue | true &\ncat < f >> g &\ncd . < f > g\n";
    in += "sh -c 'ls -m /proc/$PPID/fd > after'\n";
    temp_dir d;
    run_opts o;
    o.cwd = d.path;
    o.close_inherited = true;
    o.timeout_ms = 120000;
    run_result r = husk_run(in, o);
    EXPECT_EQ("", r.err);
    for (const char *f : {"before", "after"})
        EXPECT_EQ("0, 1, 2\n", read_file(d / f)) << f;
    for (const char *f : {"p1", "p2", "p3", "p4"})
        EXPECT_EQ("0, 1, 2, 3\n", read_file(d / f)) << f;
}

}  // namespace
