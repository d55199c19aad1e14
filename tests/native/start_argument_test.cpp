#include "service/start_argument.h"

#include <gtest/gtest.h>

#include <string>

namespace jobsvc {
namespace {

struct StartArgumentCase {
    std::u16string text;
    uint32_t minutes;
};

class StartArgumentTest : public testing::TestWithParam<StartArgumentCase> {};

TEST_P(StartArgumentTest, ReadsDecimalMinutes) {
    EXPECT_EQ(ParseStartArgument(GetParam().text.c_str()), GetParam().minutes);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StartArgumentTest,
    testing::Values(StartArgumentCase{u"30", 30}, StartArgumentCase{u"", 0},
                    StartArgumentCase{u"letters", 0}, StartArgumentCase{u" +15abc", 15},
                    StartArgumentCase{u"\t\n\v\f\r 7", 7}, StartArgumentCase{u"-1", 0xFFFFFFFFu},
                    StartArgumentCase{u"+-5", 0}, StartArgumentCase{u"- 5", 0},
                    StartArgumentCase{u"007", 7}, StartArgumentCase{u"4294967295", 0xFFFFFFFFu},
                    // Wraps modulo 2^32 like any 32-bit conversion, however long the text.
                    StartArgumentCase{u"4294967326", 30},
                    StartArgumentCase{u"0000000000000000000000000000045", 45},
                    StartArgumentCase{u"1000000000000000000000000000000", 1073741824u},
                    StartArgumentCase{u"12\u00e934", 12}));

TEST(StartArgument, NullReadsAsZero) { EXPECT_EQ(ParseStartArgument(nullptr), 0u); }

}  // namespace
}  // namespace jobsvc
