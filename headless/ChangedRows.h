#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class SourceTable;

// The rows a receiver prints at the next second: those that changed, each once however
// often it changed. A lost source changes every period while its sender stays silent, so
// its row is printed when it goes lost and then once a minute at most: a hundred dead
// senders do not fill a journal with a hundred lines a second.
class ChangedRows {
public:
    static constexpr std::int64_t LostRowEveryMs = 60'000;

    void mark(std::size_t index);
    // The rows due now, in the order they first changed since they were last printed; a
    // lost row not yet due stays marked.
    std::vector<std::size_t> takeDue(const SourceTable& sources, std::int64_t nowMs);

private:
    struct Row {
        bool marked = false;
        bool printedLost = false;
        std::int64_t printedAtMs = 0;
    };
    std::vector<Row> m_rows;
    std::vector<std::size_t> m_marked;
};
