#pragma once

#include <chrono>

// The one clock that drives every panel, and headless runs alike: a tick every quarter of
// a second, numbered round by phase, so that phase 0 comes once a second.
namespace Tick {
constexpr std::chrono::milliseconds interval { 250 };
constexpr int phases = 4;
constexpr int secondPhase = 0;
} // namespace Tick
