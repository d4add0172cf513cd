#pragma once

#include <QString>

#include <ctime>

struct Source;
class QTextStream;

// Prints a receiver's rows and a transmitter's probes, as aligned text under a heading or
// as one JSON object a line.
class RowPrinter {
public:
    RowPrinter(QTextStream& out, bool json);

    void printRow(const QString& receiver, const Source& source);
    // error is empty for a probe that left.
    void printProbe(const QString& transmitter, quint16 sourcePort, quint32 sequence, quint32 size,
        quint32 ttl, const QString& error);
    // The heading is printed again before the next text row.
    void startTable() { m_headingPrinted = false; }

private:
    void printHeading();

    QTextStream& m_out;
    bool m_json = false;
    bool m_headingPrinted = false;
};
