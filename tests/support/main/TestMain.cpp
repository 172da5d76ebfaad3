// The main of every test program: GoogleTest's own, except that a run in which
// a test skipped itself and none failed ends with TILLVOX_TEST_SKIPPED, which
// ctest is told to count as skipped: a skip never passes for a pass.
#include <gtest/gtest.h>

namespace {
constexpr int TILLVOX_TEST_SKIPPED = 77;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (result == 0 && testing::UnitTest::GetInstance()->skipped_test_count() > 0)
        return TILLVOX_TEST_SKIPPED;
    return result;
}
