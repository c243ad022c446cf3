// The test helpers that decide whether a test fails: a sanitizer's report in
// the output of a program a test runs must fail that test.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace qorvcd::test {
namespace {

TEST(RunCommand, ASanitizerReportFailsTheTestEvenWhenTheCommandIsExpectedToFail) {
    const char* reports[] = {
        "disc.cpp:12:7: runtime error: signed integer overflow",
        "==4242==ERROR: AddressSanitizer: heap-buffer-overflow on address 0x602",
        "==4242==ERROR: LeakSanitizer: detected memory leaks",
        "WARNING: ThreadSanitizer: data race (pid=4242)",
    };
    for (const char* report : reports) {
        EXPECT_NONFATAL_FAILURE(RunCommand(std::string("(printf '%s\\n' '") + report + "' >&2; exit 1)"),
                                "a sanitizer reported a fault");
    }
}

TEST(RunCommand, OrdinaryOutputAndFailuresAreLeftToTheTest) {
    const CommandResult r = RunCommand("echo 'error: no runtime here; Sanitizer not mentioned as a report'; exit 3");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_FALSE(HasSanitizerReport(r.output));
    EXPECT_FALSE(HasSanitizerReport("the runtime error count is 0"));
}

}  // namespace
}  // namespace qorvcd::test
