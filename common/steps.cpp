#include "steps.h"

#include <QtGlobal>

namespace tamarin {

std::optional<QString> failureOf(const Step& step) {
    try {
        step();
        return std::nullopt;
    } catch (const StepFailure& failure) {
        // The failure belongs to this step alone; the procedure goes on with its next step.
        return QString::fromStdString(failure.what());
    }
}

bool runStep(const Step& step) {
    return !failureOf(step);
}

void runSteps(std::initializer_list<Step> steps) {
    for (const Step& step : steps) {
        runStep(step);
    }
}

void runGuarded(const std::function<void()>& handler) noexcept {
    // An exception that reached Qt's event dispatch would end the program; the user keeps the
    // window and what they typed instead.
    try {
        runStep(handler);
    } catch (const std::exception& bug) {
        qCritical("An event handler failed: %s", bug.what());
    } catch (...) {
        qCritical("An event handler failed with an unknown exception");
    }
}

}  // namespace tamarin
