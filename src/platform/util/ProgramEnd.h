#pragma once

#include <functional>

// What has to happen before the program ends on purpose (after an error, or when the user closes
// it): the layers that hold something open register a clean-up step here, and the end of the
// program, at the top, runs them without knowing any of those layers. The data layer registers
// "roll back and close".
namespace ProgramEnd {

void AddCleanUp(std::function<void()> step);

// Runs every step, the latest registered first. The program is leaving whatever happens: a step
// that fails does not keep the others from running.
void RunCleanUps();

} // namespace ProgramEnd
