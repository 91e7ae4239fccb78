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
