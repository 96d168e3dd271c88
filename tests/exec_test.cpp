// exec_test.cpp - the executor's entry points that work alone. Whole
// command lines, the && and || decisions and every kind of redirection, are
// left to the end-to-end tests (e2e_exec_test.cpp).
#include "exec.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

#include "capture.h"

TEST(ExecWordListHandle, NullOrEmptyListDoesNothing)
{
    word_list *empty = word_list_init();
    std::string err, out = husk_test::capture(1, [&] {
        err = husk_test::capture(2, [&] {
            exec_word_list_handle(nullptr);
            exec_word_list_handle(empty);
        });
    });
    EXPECT_EQ("", err);
    EXPECT_EQ("", out);
    EXPECT_EQ(nullptr, empty->head);
    EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG));  // no child was started
    EXPECT_EQ(ECHILD, errno);
    word_list_destroy(&empty);
}

// Asks for ended children only once the shell has started one that nobody
// waits for; then collects every child that has ended, and returns at once
// while another still runs.
TEST(ProcFinishedHandle, CollectsEndedChildrenWithoutBlocking)
{
    int hold[2];
    ASSERT_EQ(0, pipe(hold));
    pid_t running = fork();
    ASSERT_NE(-1, running);
    if (running == 0) {
        close(hold[1]);
        char c;
        _exit(static_cast<int>(read(hold[0], &c, 1)));  // until the pipe closes
    }
    close(hold[0]);
    siginfo_t info;
    pid_t ended = fork();
    ASSERT_NE(-1, ended);
    if (ended == 0)
        _exit(0);
    // Wait until it has ended, but leave it uncollected.
    ASSERT_EQ(0, waitid(P_PID, static_cast<id_t>(ended), &info, WEXITED | WNOWAIT));
    proc_finished_handle();
    info.si_pid = 0;  // still there: no background command was started yet
    EXPECT_EQ(0, waitid(P_PID, static_cast<id_t>(ended), &info, WEXITED | WNOWAIT | WNOHANG));
    EXPECT_EQ(ended, info.si_pid);
    word_list *wl = word_list_from_buff("true &");
    pid_t bg = std::stoi(husk_test::capture(1, [&] { exec_word_list_handle(wl); }));
    word_list_destroy(&wl);
    ASSERT_EQ(0, waitid(P_PID, static_cast<id_t>(bg), &info, WEXITED | WNOWAIT));
    proc_finished_handle();
    for (pid_t pid : {ended, bg}) {
        EXPECT_EQ(-1, waitpid(pid, nullptr, WNOHANG));
        EXPECT_EQ(ECHILD, errno);
    }
    close(hold[1]);
    int status = -1;
    EXPECT_EQ(running, waitpid(running, &status, 0));  // was left alone
    EXPECT_TRUE(WIFEXITED(status));
}
