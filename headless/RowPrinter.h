#pragma once

#include <QString>

struct Event;
struct Source;
struct StreamProgress;
class QTextStream;

// Prints a receiver's rows, a transmitter's probes and both's events, as aligned text or as
// one JSON object a line.
class RowPrinter {
public:
    // The RECEIVER column is as wide as the longest receiver's name, so that no row shifts.
    RowPrinter(QTextStream& out, bool json, int receiverWidth);

    // The host's drops and the sources refused go with the final rows only; -1 leaves them out.
    void printRow(const QString& receiver, const Source& source, qint64 hostDrops = -1,
        qint64 sourcesRefused = -1);
    // error is empty for a probe that left.
    void printProbe(const QString& transmitter, quint16 sourcePort, quint32 sequence, quint32 size,
        quint32 ttl, const QString& error);
    // A stream's line a second; error is empty while its sends work.
    void printStream(const QString& transmitter, quint16 sourcePort, const StreamProgress& progress,
        const QString& error);
    void printEvent(const Event& event, bool fromTransmitter = false);
    // A receiver's drops and sources refused after its final rows, in text; JSON has them in
    // the rows.
    void printDrops(const QString& receiver, quint32 hostDrops, quint64 sourcesRefused);
    // The heading goes out again before the next text row, as over the final rows.
    void printHeadingBeforeNextRow() { m_headingPrinted = false; }

private:
    void printHeading();

    QTextStream& m_out;
    bool m_json = false;
    bool m_headingPrinted = false;
    int m_receiverWidth;
};
