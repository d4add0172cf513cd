#pragma once

#include <chrono>
#include <cstdint>

// The beat of the Ticker that drives every panel and headless runs alike, and the clock
// that says what is due when.
namespace Tick {
constexpr std::chrono::milliseconds interval { 250 };
constexpr int phases = 4;
constexpr int secondPhase = 0;

// Milliseconds of a clock that only goes forward, for what is due when.
inline std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace Tick
