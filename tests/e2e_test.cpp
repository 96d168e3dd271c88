#include <gtest/gtest.h>

#include "e2e_support.h"

using namespace husk_test;

TEST(Harness, RunsTheShell)
{
    run_result r = husk_run_s("a|b\n");
    EXPECT_EQ("[a] [|] [b]\n", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(0, r.status);
    temp_dir d;
    run_opts o;
    o.cwd = d.path;
    r = husk_run("echo hi > f\ncat f\n", o);
    EXPECT_EQ("hi\n", r.out);
    EXPECT_EQ("hi\n", read_file(d / "f"));
}
