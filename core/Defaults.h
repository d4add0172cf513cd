#pragma once

#include <cstdint>

// What a new panel starts with.
namespace Defaults {
constexpr char group[] = "234.5.6.7";
constexpr std::uint16_t port = 8910;
constexpr std::uint32_t ttl = 16;
constexpr std::uint32_t period = 5;
constexpr std::uint32_t packetSize = 1000;
constexpr std::uint32_t lossThreshold = 3;
constexpr std::uint32_t maxLatency = 2; // seconds
constexpr std::uint32_t maxSources = 10000; // a receiver's
constexpr char trapDestination[] = "127.0.0.1";
constexpr std::uint16_t trapPort = 162; // where a destination names none
constexpr char community[] = "meadow";
constexpr std::uint16_t metricsPort = 9781; // Prometheus's list of exporters has it ours
constexpr std::uint32_t metricsMaxSources = 1000; // a receiver's, in the metrics
constexpr char meshGroup[] = "239.255.77.1"; // organisation-local scope, as a mesh is
constexpr std::uint16_t meshPort = 8950;
} // namespace Defaults

// The values a field or an option accepts, both ends included.
struct Range {
    std::uint32_t min;
    std::uint32_t max;
};

namespace Limits {
constexpr Range port { 1, 65535 };
constexpr Range ttl { 1, 255 };
constexpr Range period { 1, 86400 };
// No probe is smaller than its 43-byte header.
constexpr Range packetSize { 43, 1500 };
// A randomised probe is 100 to 1499 bytes long: never the 1500 a fixed size may have.
constexpr Range randomSize { 100, 1499 };
constexpr Range lossThreshold { 1, 100 };
constexpr Range maxLatency { 1, 120 };
constexpr Range maxSources { 1, 1'000'000 };
constexpr Range rate { 1, 1'000'000 }; // probes a second
constexpr Range burst { 1, 1000 };
} // namespace Limits
