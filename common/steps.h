#pragma once

#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace tamarin {

// A failed operation inside one step of a procedure: a conversion that failed, a 16-bit overflow,
// a control that refused a value, a settings store or status control that failed. The procedures
// that skip failed steps catch exactly this type; anything else is a genuine bug and propagates.
class StepFailure : public std::runtime_error {
  public:
    explicit StepFailure(const std::string& why) : std::runtime_error(why) {}
};

using Step = std::function<void()>;

// Runs one step. A StepFailure abandons the rest of the step; returns whether it completed.
bool runStep(const Step& step);

// Runs the steps in order, each under runStep: a failed step never keeps the next from running.
void runSteps(std::initializer_list<Step> steps);

}  // namespace tamarin
