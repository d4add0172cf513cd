#pragma once

#include "net/Event.h"

#include <QCoreApplication>

#include <deque>

class QIODevice;

// The log's columns: as the window shows them, and as they are saved in CSV.
class EventColumns {
    Q_DECLARE_TR_FUNCTIONS(EventColumns)

public:
    enum Column { Time, Panel, Source, Kind, Detail, Count };

    // For people, in their language.
    static QString heading(int column);
    static QString cell(const Event& event, int column);
    // The events as CSV, with a header row of the same names in every language for the
    // programs that read the file; false when it cannot be written.
    static bool writeCsv(const std::deque<Event>& events, QIODevice& device);
};
