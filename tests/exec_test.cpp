// exec_test.cpp - the executor's steps that work alone. Whole command lines
// are left to the end-to-end tests.
#include "exec.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "capture.h"
#include "model.h"

// Only && and || look at the last result, and only 0 counts as success.
TEST(IsCmdShouldExec, OnlyAndOrLookAtTheLastResult)
{
    const int last[] = {0, 1, -1, 255};
    const struct {
        delim dl;
        int after[4];  // the answer after each result in `last`
    } cases[] = {
        {delim_err, {1, 1, 1, 1}},        {delim_semi, {1, 1, 1, 1}},
        {delim_pipe, {1, 1, 1, 1}},       {delim_ampersand, {1, 1, 1, 1}},
        {delim_logical_or, {0, 1, 1, 1}}, {delim_logical_and, {1, 0, 0, 0}},
        {delim_redir_in, {1, 1, 1, 1}},   {delim_redir_out, {1, 1, 1, 1}},
        {delim_redir_in2, {1, 1, 1, 1}},  {delim_redir_out2, {1, 1, 1, 1}},
    };
    for (const auto &c : cases)
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(c.after[i], is_cmd_should_exec(c.dl, last[i])) << c.dl << " " << last[i];
}

TEST(DelimNameToFdOpt, MapsTheFourRedirections)
{
    const std::pair<delim, fd_opt> cases[] = {
        {delim_err, opt_err},       {delim_semi, opt_err},        {delim_pipe, opt_err},
        {delim_ampersand, opt_err}, {delim_logical_or, opt_err},  {delim_logical_and, opt_err},
        {delim_redir_in, opt_r},    {delim_redir_out, opt_w},     {delim_redir_in2, opt_rr},
        {delim_redir_out2, opt_a},
    };
    for (const auto &[dl, opt] : cases)
        EXPECT_EQ(opt, delim_name_to_fd_opt(dl)) << dl;
}

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
