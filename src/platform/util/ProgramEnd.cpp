// The clean-up steps the layers register and the end of the program runs.

#include "platform/util/ProgramEnd.h"

#include <vector>

namespace {
std::vector<std::function<void()>>& Steps() {
    static std::vector<std::function<void()>> steps;
    return steps;
}
} // namespace

void ProgramEnd::AddCleanUp(std::function<void()> step) {
    Steps().push_back(std::move(step));
}

void ProgramEnd::RunCleanUps() {
    const auto& steps = Steps();
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        try {
            (*step)();
        } catch (...) {
            // The steps after it still have their own things to close.
        }
    }
}
