// tty_test.cpp - the built shell at a terminal: the prompt, continuation
// prompts, end of input by Ctrl-D, and line-buffered process id lines.
// Which input a background command gets does not depend on the terminal:
// the end-to-end tests of running (Exec.Operators) see it.
#include <gtest/gtest.h>

#include <pty.h>
#include <regex>

#include "e2e_support.h"
#include "model.h"

using namespace husk_test;

namespace {

// The shell on a pseudo-terminal, started in a fresh directory and past
// its first prompt. The terminal echoes what is typed, so the output holds
// the typed text as well.
struct tty_session {
    temp_dir dir;
    std::string prompt = dir.path + "> ";
    int fd = -1;
    pid_t pid = -1;
    std::string out;  // everything read so far
    size_t seen = 0;  // end of the last awaited text

    tty_session()
    {
        pid = forkpty(&fd, nullptr, nullptr, nullptr);
        if (pid == 0) {
            if (chdir(dir.path.c_str()) != 0)
                _exit(126);
            set_fixed_env();
            std::string bin = husk_bin();
            execl(bin.c_str(), bin.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        wait_for(prompt);
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
    // Types `line`, which ends in a newline, and answers what the shell
    // wrote after the echo of it, up to the prompt `next` (by default the
    // one of the starting directory).
    std::string type(const std::string &line, const std::string &next = "")
    {
        send(line);
        wait_for(line.substr(0, line.size() - 1) + "\r\n");
        return wait_for(next.empty() ? prompt : next);
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
    tty_session t;
    EXPECT_EQ("hi\r\n", t.type("echo hi\n"));
    EXPECT_EQ("", t.type("\n"));
    EXPECT_EQ("", t.type("echo 'a\n"));
    EXPECT_EQ("", t.type("b' |\n"));
    // Output is line-buffered at a terminal: the pid line of the first
    // stage comes before what the last one prints.
    EXPECT_TRUE(std::regex_match(t.type("tr a A\n"), std::regex("[0-9]+\r\nAb\r\n")));
    // A failed line does not go on: the next one typed is new.
    std::string msg = msg_unexpected("|");
    EXPECT_EQ(msg.replace(msg.size() - 1, 1, "\r\n"), t.type("ls | | echo 'a\n"));
    EXPECT_EQ("", t.type("echo b'\n"));
    EXPECT_EQ("bc\r\n", t.type("c'\n"));
    EXPECT_EQ("", t.type("echo a\\\n"));
    EXPECT_EQ("a b\r\n", t.type("b\n"));
    t.send("\x04");
    std::string rest;
    EXPECT_EQ(0, t.finish(&rest));
    EXPECT_EQ("\r\n", rest);
}

// Text, two Ctrl-D and an end of input during a continuation: nothing runs,
// one newline, status 0.
TEST(Terminal, EndOfInputRunsNothing)
{
    for (const char *typed : {"touch f\x04\x04", "touch f |\n\x04", "touch 'f\n\x04"}) {
        SCOPED_TRACE(typed);
        tty_session t;
        t.send(typed);
        t.wait_for(std::string(typed, strcspn(typed, "\n\x04")));
        std::string rest;
        EXPECT_EQ(0, t.finish(&rest));
        EXPECT_TRUE(rest == "\r\n" || rest == "\r\n" + t.prompt + "\r\n") << rest;
        EXPECT_FALSE(file_exists(t.dir / "f"));
    }
}

TEST(Terminal, PromptFollowsCd)
{
    tty_session t;
    mkdir((t.dir / "sub").c_str(), 0755);
    std::string sub = t.dir.path + "/sub> ";
    EXPECT_EQ("", t.type("cd sub\n", sub));
    EXPECT_EQ("cd: No such file or directory\r\n", t.type("cd missing\n", sub));
    EXPECT_EQ("ok\r\n", t.type("cd .. && echo ok\n"));
}

}  // namespace
