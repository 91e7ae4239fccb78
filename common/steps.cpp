#include "steps.h"

namespace tamarin {

bool runStep(const Step& step) {
    try {
        step();
        return true;
    } catch (const StepFailure&) {
        // The failure belongs to this step alone; the procedure goes on with its next step.
        return false;
    }
}

void runSteps(std::initializer_list<Step> steps) {
    for (const Step& step : steps) {
        runStep(step);
    }
}

}  // namespace tamarin
