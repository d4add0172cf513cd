#include "core/SourceColumns.h"

#include <algorithm>

std::uint32_t numberIn(const Source& source, SourceColumn column)
{
    switch (column) {
    case SourceColumn::SourcePort:
        return source.port;
    case SourceColumn::LastSequence:
        return source.lastSequence;
    case SourceColumn::Period:
        return source.period;
    case SourceColumn::ConsecutiveReceived:
        return source.consecutiveReceived;
    case SourceColumn::ConsecutiveMissed:
        return source.consecutiveMissed;
    case SourceColumn::TotalReceived:
        return source.totalReceived;
    case SourceColumn::TotalMissed:
        return source.totalMissed;
    case SourceColumn::Duplicates:
        return source.duplicates;
    case SourceColumn::ReceivedTtl:
        return std::uint32_t(std::max(source.receivedTtl, 0));
    case SourceColumn::SourceAddress:
    case SourceColumn::LastReceived:
    case SourceColumn::State:
        break;
    }
    return 0;
}

std::string cellText(const Source& source, const SourceColumnInfo& column)
{
    switch (column.kind) {
    case SourceColumnInfo::Address:
        return source.address;
    case SourceColumnInfo::Time: {
        std::tm local {};
        localtime_r(&source.lastReceived, &local);
        char text[sizeof "HH:MM:SS"] = {};
        std::strftime(text, sizeof text, "%H:%M:%S", &local);
        return text;
    }
    case SourceColumnInfo::State:
        return source.lost ? "Lost" : "OK";
    case SourceColumnInfo::Number:
        break;
    }
    // Sequence numbers and periods are unsigned on the wire.
    return std::to_string(numberIn(source, column.column));
}
