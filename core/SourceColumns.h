#pragma once

#include "core/Source.h"

#include <array>
#include <cstdint>

// The columns a receiver shows for each source, in the list and in printed rows alike.
enum class SourceColumn {
    SourceIp,
    SrcUdp,
    LastRxTime,
    LastSeq,
    Freq,
    ConsRx,
    ConsMiss,
    TotalRx,
    TotalMiss,
    Dups,
    RxTtl,
    State,
};

struct SourceColumnInfo {
    enum Kind { Address, Time, Number, State };

    SourceColumn column;
    Kind kind;
    const char* heading; // in the list
    unsigned weight; // the share of the list's width
    const char* printedHeading; // over printed text rows
    int printedWidth; // characters
    const char* jsonKey;
};

constexpr std::array<SourceColumnInfo, 12> SourceColumns { {
    { SourceColumn::SourceIp, SourceColumnInfo::Address, "Source IP", 100, "SOURCE", 15, "source" },
    { SourceColumn::SrcUdp, SourceColumnInfo::Number, "Src UDP", 50, "PORT", 5, "port" },
    { SourceColumn::LastRxTime, SourceColumnInfo::Time, "Last RX Time", 100, "LAST-RX", 8,
        "last_rx" },
    { SourceColumn::LastSeq, SourceColumnInfo::Number, "Last Seq#", 50, "SEQ", 10, "seq" },
    { SourceColumn::Freq, SourceColumnInfo::Number, "Freq", 50, "FREQ", 5, "freq" },
    { SourceColumn::ConsRx, SourceColumnInfo::Number, "Cons. RX", 50, "CONS-RX", 7, "cons_rx" },
    { SourceColumn::ConsMiss, SourceColumnInfo::Number, "Cons. Miss", 50, "CONS-MISS", 9,
        "cons_miss" },
    { SourceColumn::TotalRx, SourceColumnInfo::Number, "Total RX", 50, "TOTAL-RX", 8, "total_rx" },
    { SourceColumn::TotalMiss, SourceColumnInfo::Number, "Total Miss", 50, "TOTAL-MISS", 10,
        "total_miss" },
    { SourceColumn::Dups, SourceColumnInfo::Number, "Dups", 50, "DUPS", 10, "dups" },
    { SourceColumn::RxTtl, SourceColumnInfo::Number, "RX TTL", 50, "RX-TTL", 6, "rx_ttl" },
    { SourceColumn::State, SourceColumnInfo::State, "State", 50, "STATE", 5, "state" },
} };

constexpr const SourceColumnInfo& columnInfo(SourceColumn column)
{
    return SourceColumns[std::size_t(column)];
}

// The value of a Number column.
std::uint32_t numberIn(const Source& source, SourceColumn column);
// What a cell shows: the address, the local time as HH:MM:SS, the number, or "OK" or "Lost".
std::string cellText(const Source& source, const SourceColumnInfo& column);
