// The harness itself: a failed check must end its test case and be counted.

#include "support/check.h"

#include <string>

TEST_CASE(failedCheckEndsItsCase)
{
    bool reachedAfterFailure = false;
    bool failed = false;
    try {
        CHECK_EQ(std::string("a"), "b");
        reachedAfterFailure = true;
    } catch (const check::Failure &) {
        failed = true;
    }
    CHECK(failed);
    CHECK(!reachedAfterFailure);
}
