#pragma once

#include <QString>
#include <functional>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace tamarin {

// A failed operation inside one step of a procedure: a conversion that failed, a 16-bit overflow,
// a control that refused a value, a settings store or status control that failed. The procedures
// that skip failed steps catch exactly this type; anything else is a genuine bug and propagates.
class StepFailure : public std::runtime_error {
  public:
    explicit StepFailure(const std::string& why) : std::runtime_error(why) {}
};

using Step = std::function<void()>;

// Runs one step; returns why it failed (the StepFailure's text), or nothing when it completed.
// This is the one place where a StepFailure is caught.
std::optional<QString> failureOf(const Step& step);

// Runs one step. A StepFailure abandons the rest of the step; returns whether it completed.
bool runStep(const Step& step);

// Runs the steps in order, each under runStep: a failed step never keeps the next from running.
void runSteps(std::initializer_list<Step> steps);

// Runs a step that computes a value: the value, or nothing when the step failed. The fallback is
// written where the value is used: `attempt([&] { return wholeText16(text); }).value_or(0)`.
template <typename Compute>
auto attempt(Compute&& compute) -> std::optional<std::invoke_result_t<Compute&>> {
    std::optional<std::invoke_result_t<Compute&>> result;
    runStep([&] { result.emplace(compute()); });
    return result;
}

// Runs an event handler so that nothing it throws can leave it: a failed step ends the handler
// quietly, as it would end any procedure; anything else is a bug, reported on the log.
void runGuarded(const std::function<void()>& handler) noexcept;

}  // namespace tamarin
