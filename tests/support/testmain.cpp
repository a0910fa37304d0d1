// doctest's implementation, built once for every test program, and the run
// that ends with the closing line (see testmain.h).

#include "support/testmain.h"
#include "support/testing.h"

#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>

#include <cstdio>
#include <iostream>

namespace {

// What the closing line counts, gathered as the run goes.
struct Totals {
    bool ran = false;
    int cases = 0;
    int casesFailed = 0;
    // Failed without a failed check: an exception, or a crash.
    int casesFailedOtherwise = 0;
    int checks = 0;
    int checksFailed = 0;
};
Totals totals;

class Counter final : public doctest::IReporter {
public:
    explicit Counter(const doctest::ContextOptions &) {}

    void test_run_end(const doctest::TestRunStats &stats) override
    {
        totals.ran = true;
        totals.checks = stats.numAsserts;
        totals.checksFailed = stats.numAssertsFailed;
    }
    void test_case_end(const doctest::CurrentTestCaseStats &stats) override
    {
        ++totals.cases;
        if (!stats.testCaseSuccess) {
            ++totals.casesFailed;
            if (stats.numAssertsFailedCurrentTest == 0)
                ++totals.casesFailedOtherwise;
        }
    }

    void report_query(const doctest::QueryData &) override {}
    void test_run_start() override {}
    void test_case_start(const doctest::TestCaseData &) override {}
    void test_case_reenter(const doctest::TestCaseData &) override {}
    void test_case_exception(const doctest::TestCaseException &) override {}
    void subcase_start(const doctest::SubcaseSignature &) override {}
    void subcase_end() override {}
    void log_assert(const doctest::AssertData &) override {}
    void log_message(const doctest::MessageData &) override {}
    void test_case_skipped(const doctest::TestCaseData &) override {}
};

DOCTEST_REGISTER_LISTENER("brisko-counter", 0, Counter);

} // namespace

namespace testsupport {

int RunTests(int argc, const char *const *argv, Counted counted)
{
    // Unbuffered, so that a run that crashes still shows how far it came.
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    // Numbers in failure messages with all their digits: 0.1 and the next
    // double must not both show as 0.1.
    doctest::detail::tlssPush()->precision(17);
    doctest::detail::tlssPop();

    doctest::Context context;
    context.applyCommandLine(argc, argv);
    const int status = context.run();
    if (!totals.ran) // --help, --list-test-cases and the like
        return status;

    int passed = 0;
    int failed = 0;
    if (counted == Counted::TestCases) {
        passed = totals.cases - totals.casesFailed;
        failed = totals.casesFailed;
    } else {
        passed = totals.checks - totals.checksFailed;
        failed = totals.checksFailed + totals.casesFailedOtherwise;
    }
    std::cout.flush();
    std::printf("%d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return status == 0 && failed == 0 && passed > 0 ? 0 : 1;
}

} // namespace testsupport
