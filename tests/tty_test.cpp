// tty_test.cpp - the built shell at a terminal: the prompt, continuation
// prompts, end of input by Ctrl-D, and line-buffered process id lines.
#include <gtest/gtest.h>

#include <pty.h>
#include <regex>

#include "e2e_support.h"
#include "model.h"

using namespace husk_test;

namespace {

// The shell on a pseudo-terminal, started in `dir`. The terminal echoes
// what is typed, so the output holds the typed text as well.
struct tty_session {
    int fd = -1;
    pid_t pid = -1;
    std::string out;  // everything read so far
    size_t seen = 0;  // end of the last awaited text

    explicit tty_session(const std::string &dir)
    {
        pid = forkpty(&fd, nullptr, nullptr, nullptr);
        if (pid == 0) {
            if (chdir(dir.c_str()) != 0)
                _exit(126);
            set_fixed_env();
            std::string bin = husk_bin();
            execl(bin.c_str(), bin.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
    }
    ~tty_session()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        close(fd);
    }
    void send(const std::string &s) { ASSERT_EQ(ssize_t(s.size()), write(fd, s.data(), s.size())); }
    // Reads once; false at the end of the output or after 10 s of silence
    // (times timeout_factor()).
    bool read_some()
    {
        pollfd p = {fd, POLLIN, 0};
        char buf[4096];
        ssize_t n = poll(&p, 1, 10000 * timeout_factor()) > 0 ? read(fd, buf, sizeof buf) : -1;
        if (n > 0)
            out.append(buf, static_cast<size_t>(n));
        return n > 0;
    }
    // Waits until `text` appears after what was awaited before; answers
    // what came before it, since the last awaited text.
    std::string wait_for(const std::string &text)
    {
        size_t at;
        while ((at = out.find(text, seen)) == std::string::npos)
            if (!read_some()) {
                ADD_FAILURE() << "no " << testing::PrintToString(text) << " in "
                              << testing::PrintToString(out.substr(seen));
                return "";
            }
        std::string before = out.substr(seen, at - seen);
        seen = at + text.size();
        return before;
    }
    // Reads to the end and answers the rest of the output and the status.
    int finish(std::string *rest)
    {
        while (read_some()) {
        }
        *rest = out.substr(seen);
        int st = 0;
        waitpid(pid, &st, 0);
        pid = -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }
};

TEST(Terminal, PromptBeforeEveryLineAndContinuation)
{
    temp_dir d;
    std::string prompt = d.path + "> ";
    tty_session t(d.path);
    t.wait_for(prompt);
    t.send("echo hi\n");
    EXPECT_EQ("echo hi\r\nhi\r\n", t.wait_for(prompt));
    t.send("\n");
    EXPECT_EQ("\r\n", t.wait_for(prompt));
    t.send("echo 'a\n");
    EXPECT_EQ("echo 'a\r\n", t.wait_for(prompt));
    t.send("b' |\n");
    EXPECT_EQ("b' |\r\n", t.wait_for(prompt));
    t.send("tr a A\n");
    EXPECT_EQ("tr a A", t.wait_for("\r\n"));
    EXPECT_TRUE(std::regex_match(t.wait_for(prompt), std::regex("[0-9]+\r\nAb\r\n")));
    // A failed line does not go on: the next one typed is new.
    t.send("ls | | echo 'a\n");
    std::string msg = msg_unexpected("|");
    EXPECT_EQ("ls | | echo 'a\r\n" + msg.replace(msg.size() - 1, 1, "\r\n"), t.wait_for(prompt));
    t.send("echo b'\n");
    EXPECT_EQ("echo b'\r\n", t.wait_for(prompt));
    t.send("c'\n");
    EXPECT_EQ("c'\r\nbc\r\n", t.wait_for(prompt));
    t.send("echo a\\\n");
    EXPECT_EQ("echo a\\\r\n", t.wait_for(prompt));
    t.send("b\n");
    EXPECT_EQ("b\r\na b\r\n", t.wait_for(prompt));
    t.send("\x04");
    std::string rest;
    EXPECT_EQ(0, t.finish(&rest));
    EXPECT_EQ("\r\n", rest);
}

// Text, two Ctrl-D and an end of input during a continuation: nothing runs,
// one newline, status 0.
TEST(Terminal, EndOfInputRunsNothing)
{
    temp_dir d;
    for (const char *typed : {"touch f\x04\x04", "touch f |\n\x04", "touch 'f\n\x04"}) {
        SCOPED_TRACE(typed);
        tty_session t(d.path);
        t.wait_for(d.path + "> ");
        t.send(typed);
        std::string text(typed, strcspn(typed, "\n\x04"));
        t.wait_for(text);
        std::string rest;
        EXPECT_EQ(0, t.finish(&rest));
        EXPECT_TRUE(rest == "\r\n" || rest == "\r\n" + d.path + "> \r\n") << rest;
        EXPECT_FALSE(file_exists(d / "f"));
    }
}

TEST(Terminal, PromptFollowsCd)
{
    temp_dir d;
    mkdir((d / "sub").c_str(), 0755);
    tty_session t(d.path);
    t.wait_for(d.path + "> ");
    t.send("cd sub\n");
    t.wait_for(d.path + "/sub> ");
    t.send("cd missing\n");
    EXPECT_EQ("cd missing\r\ncd: No such file or directory\r\n", t.wait_for(d.path + "/sub> "));
    t.send("cd .. && echo ok\n");
    EXPECT_EQ("cd .. && echo ok\r\nok\r\n", t.wait_for(d.path + "> "));
}

// A command in the background never takes what is typed next.
TEST(Terminal, BackgroundCommandLeavesTheTerminalToTheShell)
{
    temp_dir d;
    std::string prompt = d.path + "> ";
    tty_session t(d.path);
    t.wait_for(prompt);
    t.send("readlink /proc/self/fd/0 > f &\n");
    t.wait_for(prompt);
    t.send("cat &\n");
    EXPECT_TRUE(std::regex_match(t.wait_for(prompt), std::regex("cat &\r\n[0-9]+\r\n")));
    t.send("echo two\n");
    EXPECT_EQ("echo two\r\ntwo\r\n", t.wait_for(prompt));
    for (long end = now_ms() + 5000L * timeout_factor(); now_ms() < end && read_file(d / "f").empty();)
        usleep(10000);
    EXPECT_EQ("/dev/null\n", read_file(d / "f"));
}

// Standard output is line-buffered at a terminal: the pid of `ls` comes
// before the count that `wc` prints.
TEST(Terminal, PidLineComesBeforePipelineOutput)
{
    temp_dir d;
    write_file(d / "a", "");
    write_file(d / "b", "");
    tty_session t(d.path);
    t.wait_for(d.path + "> ");
    t.send("ls | wc -l\n");
    t.wait_for("ls | wc -l\r\n");
    EXPECT_TRUE(std::regex_match(t.wait_for(d.path + "> "), std::regex("[0-9]+\r\n2\r\n")));
}

}  // namespace
