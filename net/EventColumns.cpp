#include "net/EventColumns.h"

#include <QIODevice>

namespace {

const char* const Headings[EventColumns::Count] = { QT_TRANSLATE_NOOP("EventColumns", "Time"),
    QT_TRANSLATE_NOOP("EventColumns", "Panel"), QT_TRANSLATE_NOOP("EventColumns", "Source"),
    QT_TRANSLATE_NOOP("EventColumns", "Event"), QT_TRANSLATE_NOOP("EventColumns", "Detail") };

// A field quoted where it holds a comma, a quote or a line break, as RFC 4180 has it.
QString csvField(QString text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + text.replace(QLatin1String("\""), QLatin1String("\"\""))
        + QLatin1Char('"');
}

} // namespace

QString EventColumns::heading(int column)
{
    return column >= 0 && column < Count ? tr(Headings[column]) : QString();
}

QString EventColumns::cell(const Event& event, int column)
{
    switch (column) {
    case Time:
        return event.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Panel:
        return event.panel;
    case Source:
        return event.sourceText();
    case Kind:
        return event.name();
    default:
        return event.detail;
    }
}

bool EventColumns::writeCsv(const std::deque<Event>& events, QIODevice& device)
{
    QStringList lines;
    QStringList header;
    for (const char* name : Headings)
        header << QString::fromLatin1(name).toLower();
    lines << header.join(QLatin1Char(','));
    for (const Event& event : events) {
        QStringList fields;
        for (int column = 0; column < Count; ++column)
            fields << csvField(cell(event, column));
        lines << fields.join(QLatin1Char(','));
    }
    const QByteArray text = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    return device.write(text) == text.size();
}
