#pragma once

#include "platform/util/TvError.h"

#include <functional>

// The number of the TvError that call raises; 0 when it raises none.
inline int ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const TvError& e) {
        return e.Number();
    }
    return 0;
}
