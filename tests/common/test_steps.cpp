#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "common/steps.h"

using namespace tamarin;

TEST(RunSteps, AFailedStepIsAbandonedAndTheNextRuns) {
    std::vector<int> trace;
    runSteps({
        [&] { trace.push_back(1); },
        [&] {
            trace.push_back(2);
            throw StepFailure("refused");
            trace.push_back(99);
        },
        [&] { trace.push_back(3); },
        [&] { throw StepFailure("again"); },
        [&] { trace.push_back(4); },
    });
    EXPECT_EQ(trace, (std::vector<int>{1, 2, 3, 4}));
}

TEST(RunSteps, AnyOtherExceptionIsABugAndPropagates) {
    std::vector<int> trace;
    EXPECT_THROW(runSteps({
                     [&] { trace.push_back(1); },
                     [] { throw std::logic_error("bug"); },
                     [&] { trace.push_back(3); },
                 }),
                 std::logic_error);
    EXPECT_EQ(trace, (std::vector<int>{1}));
}

TEST(RunStep, ReportsWhetherTheStepCompleted) {
    EXPECT_TRUE(runStep([] {}));
    EXPECT_FALSE(runStep([] { throw StepFailure("no"); }));
    EXPECT_THROW(runStep([] { throw std::runtime_error("bug"); }), std::runtime_error);
}

TEST(Attempt, GivesTheValueOrNothingWhenTheStepFailed) {
    EXPECT_EQ(attempt([] { return 7; }).value_or(5), 7);
    EXPECT_EQ(attempt([]() -> int { throw StepFailure("no"); }).value_or(5), 5);
    EXPECT_EQ(failureOf([] { throw StepFailure("why"); }), QStringLiteral("why"));
    EXPECT_THROW(attempt([]() -> int { throw std::logic_error("bug"); }), std::logic_error);
}

TEST(RunGuarded, NothingLeavesAHandler) {
    int ran = 0;
    EXPECT_NO_THROW(runGuarded([&] { ++ran, throw StepFailure("failed step"); }));
    EXPECT_NO_THROW(runGuarded([&] { ++ran, throw std::logic_error("bug"); }));
    EXPECT_NO_THROW(runGuarded([&] { ++ran, throw 42; }));
    EXPECT_EQ(ran, 3);
}
