#include "core/SourceColumns.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

std::uint64_t numberIn(const Source& source, SourceColumn column)
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
    case SourceColumn::Late:
        return source.late;
    case SourceColumn::ReceivedTtl:
        return std::uint64_t(std::max(source.receivedTtl, 0));
    case SourceColumn::SourceAddress:
    case SourceColumn::LastReceived:
    case SourceColumn::LossPercent:
    case SourceColumn::Jitter:
    case SourceColumn::Rate:
    case SourceColumn::LongestGap:
    case SourceColumn::State:
        break;
    }
    return 0;
}

std::optional<double> measureIn(const Source& source, SourceColumn column, std::int64_t nowNs)
{
    switch (column) {
    case SourceColumn::Jitter:
        return source.timing.jitterMs();
    case SourceColumn::Rate:
        return source.timing.rate(nowNs);
    case SourceColumn::LongestGap:
        return double(source.timing.longestOutageNs()) / 1e6;
    default:
        return std::nullopt;
    }
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
    case SourceColumnInfo::Percent: {
        char text[sizeof "100.0"] = {};
        std::snprintf(text, sizeof text, "%.1f", source.lossPercent());
        return text;
    }
    case SourceColumnInfo::State:
        return source.lost ? "Lost" : source.stopped ? "Stopped" : "OK";
    case SourceColumnInfo::Measure: {
        const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::system_clock::now().time_since_epoch());
        const auto value = measureIn(source, column.column, now.count());
        char text[32] = {};
        if (value)
            std::snprintf(
                text, sizeof text, column.column == SourceColumn::Rate ? "%.0f" : "%.3f", *value);
        return text;
    }
    case SourceColumnInfo::Number:
        break;
    }
    // Sequence numbers and periods are unsigned on the wire.
    return std::to_string(numberIn(source, column.column));
}

const char* stateKey(const Source& source)
{
    return source.lost ? "lost" : source.stopped ? "stopped" : "ok";
}

double shownLossPercent(const Source& source) { return std::round(source.lossPercent() * 10) / 10; }
