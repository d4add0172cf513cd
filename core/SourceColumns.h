#pragma once

#include "core/Source.h"

#include <array>
#include <cstdint>
#include <optional>

// The columns a receiver shows for each source, in the list and in printed rows alike.
enum class SourceColumn {
    SourceAddress,
    SourcePort,
    LastReceived, // the wall clock's time of the last probe
    LastSequence,
    Period, // advertised, in seconds; headed "Freq" as it always was
    ConsecutiveReceived,
    ConsecutiveMissed,
    TotalReceived,
    TotalMissed,
    LossPercent,
    Duplicates,
    Late,
    Jitter, // RFC 3550, in ms; none without send times
    Rate, // new numbers over the last second
    LongestGap, // the longest outage, in ms
    ReceivedTtl,
    State,
};

struct SourceColumnInfo {
    enum Kind { Address, Time, Number, Percent, Measure, State };

    SourceColumn column;
    Kind kind;
    const char* heading; // in the list
    unsigned weight; // the share of the list's width
    const char* printedHeading; // over printed text rows
    int printedWidth; // characters
    const char* jsonKey;
};

// Printed and JSON rows lead with the receiver that heard the source.
constexpr const char* ReceiverPrintedHeading = "RECEIVER";
constexpr const char* ReceiverJsonKey = "receiver";

constexpr std::array<SourceColumnInfo, 17> SourceColumns { {
    { SourceColumn::SourceAddress, SourceColumnInfo::Address, "Source IP", 100, "SOURCE", 15,
        "source" },
    { SourceColumn::SourcePort, SourceColumnInfo::Number, "Src UDP", 50, "PORT", 5, "port" },
    { SourceColumn::LastReceived, SourceColumnInfo::Time, "Last RX Time", 100, "LAST-RX", 8,
        "last_rx" },
    { SourceColumn::LastSequence, SourceColumnInfo::Number, "Last Seq#", 50, "SEQ", 10, "seq" },
    { SourceColumn::Period, SourceColumnInfo::Number, "Freq", 50, "FREQ", 5, "freq" },
    { SourceColumn::ConsecutiveReceived, SourceColumnInfo::Number, "Cons. RX", 50, "CONS-RX", 7,
        "cons_rx" },
    { SourceColumn::ConsecutiveMissed, SourceColumnInfo::Number, "Cons. Miss", 50, "CONS-MISS", 9,
        "cons_miss" },
    { SourceColumn::TotalReceived, SourceColumnInfo::Number, "Total RX", 50, "TOTAL-RX", 8,
        "total_rx" },
    { SourceColumn::TotalMissed, SourceColumnInfo::Number, "Total Miss", 50, "TOTAL-MISS", 10,
        "total_miss" },
    { SourceColumn::LossPercent, SourceColumnInfo::Percent, "Loss %", 50, "LOSS%", 5,
        "loss_percent" },
    { SourceColumn::Duplicates, SourceColumnInfo::Number, "Dups", 50, "DUPS", 10, "dups" },
    { SourceColumn::Late, SourceColumnInfo::Number, "Late", 50, "LATE", 10, "late" },
    { SourceColumn::Jitter, SourceColumnInfo::Measure, "Jitter", 50, "JITTER-MS", 9, "jitter_ms" },
    { SourceColumn::Rate, SourceColumnInfo::Measure, "Rate", 50, "RATE", 7, "rate" },
    { SourceColumn::LongestGap, SourceColumnInfo::Measure, "Longest Gap", 50, "GAP-MS", 8,
        "longest_gap_ms" },
    { SourceColumn::ReceivedTtl, SourceColumnInfo::Number, "RX TTL", 50, "RX-TTL", 6, "rx_ttl" },
    { SourceColumn::State, SourceColumnInfo::State, "State", 50, "STATE", 5, "state" },
} };

static_assert(
    [] {
        for (std::size_t place = 0; place < SourceColumns.size(); ++place) {
            if (std::size_t(SourceColumns[place].column) != place)
                return false;
        }
        return true;
    }(),
    "each column stands at the place its enumerator names");

constexpr const SourceColumnInfo& columnInfo(SourceColumn column)
{
    return SourceColumns[std::size_t(column)];
}

// The value of a Measure column at a time (CLOCK_REALTIME ns): none for a jitter not known.
std::optional<double> measureIn(const Source& source, SourceColumn column, std::int64_t nowNs);

// The value of a Number column.
std::uint64_t numberIn(const Source& source, SourceColumn column);
// What a cell shows: the address, the local time as HH:MM:SS, the number, the percentage
// with one decimal, or "OK", "Lost" or "Stopped".
std::string cellText(const Source& source, const SourceColumnInfo& column);
// The state as JSON names it: "ok", "lost" or "stopped".
const char* stateKey(const Source& source);
// The loss in percent, to the one decimal a cell shows.
double shownLossPercent(const Source& source);
