// syntax_test.cpp - the syntax check: its answers, the exact token an error
// names, and the one rewrite it may make in the buffer, held to the model
// of the language (model.h) on every short line.
#include "syntax.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model.h"

// The answer, the token an error names (its position is written with no
// other answer) and the buffer after the check are the model's: a final
// backslash outside quotes becomes a blank, nothing else is rewritten. Each
// line is checked alone, and after 13 blanks, where the edge of the
// sixteen-byte blocks the check looks at falls inside it or just after it.
// The check runs as the loop runs it, on a writable copy of the line in an
// allocation of exactly its size, so that a sanitizer build catches a read
// past its end.
TEST(SyntaxHandle, AgreesWithTheModelOnEveryShortLine)
{
    husk_test::every_short_line([](const std::string &short_line) {
        for (const std::string &line : {short_line, std::string(13, ' ') + short_line}) {
            std::string want_buff = line;
            husk_test::verdict want = husk_test::ref_check(want_buff);
            std::vector<char> exact(line.c_str(), line.c_str() + line.size() + 1);
            int pos = -1, len = -1;
            EXPECT_EQ(want.st, syntax_handle(exact.data(), &pos, &len))
                << testing::PrintToString(line);
            EXPECT_EQ(want.st == syntax_err ? want.pos : -1, pos) << testing::PrintToString(line);
            if (want.st == syntax_err) {
                EXPECT_EQ(want.len, len) << testing::PrintToString(line);
            }
            EXPECT_EQ(want_buff, std::string(exact.data(), line.size()))
                << testing::PrintToString(line);
        }
        return !testing::Test::HasFailure();
    });
}
