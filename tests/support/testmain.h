#pragma once

// The run of a test program: doctest's command line (test cases by name with
// -tc=, subcases with -sc=, --list-test-cases, --reporters=junit
// --out=<file>, --help), then, as the very last line of the output, the
// closing line "N passed, N failed". The Wine scripts judge a run by that
// line alone, since Wine's exit status proves nothing. The exit status is 1
// when anything failed, and when nothing passed (a filter that matches
// nothing is no success either).

namespace testsupport {

enum class Counted {
    TestCases, // a test case passes when every check in it does
    Checks,    // each check on its own, as the end-to-end driver counts
};

int RunTests(int argc, const char *const *argv, Counted counted = Counted::TestCases);

} // namespace testsupport
