// Nothing may cross into the host as an exception: every export and interface operation
// runs its body through CatchReturn, which turns any failure into the neutral result.
#pragma once

#include <utility>

namespace tierlock {

template <class Result, class Body>
Result CatchReturn(Result neutral, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return neutral;
    }
}

template <class Body>
void CatchVoid(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

}  // namespace tierlock
