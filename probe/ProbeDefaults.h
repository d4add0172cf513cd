#pragma once

#include <cstdint>

// What a new panel starts with, and the limits its fields accept.
constexpr char DEFAULT_GROUP[] = "234.5.6.7";
constexpr std::uint32_t DEFAULT_PORT = 8910;
constexpr std::uint32_t DEFAULT_TTL = 16;
constexpr std::uint32_t DEFAULT_PERIOD = 5;
constexpr std::uint32_t DEFAULT_PACKET_SIZE = 1000;

constexpr std::uint32_t PORT_MIN = 1;
constexpr std::uint32_t PORT_MAX = 65535;
constexpr std::uint32_t TTL_MIN = 1;
constexpr std::uint32_t TTL_MAX = 255;
constexpr std::uint32_t PERIOD_MIN = 1;
constexpr std::uint32_t PERIOD_MAX = 86400;
constexpr std::uint32_t PROBE_MAX_SIZE = 1500;

// A randomised probe is 100 to 1499 bytes long: never the 1500 a fixed size may have.
constexpr std::uint32_t RANDOM_SIZE_MIN = 100;
constexpr std::uint32_t RANDOM_SIZE_SPAN = 1400;

// Dotted-decimal IPv4 text is at most this long.
constexpr int GROUP_MAX_CHARS = 15;
