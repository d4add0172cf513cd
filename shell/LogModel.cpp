#include "shell/LogModel.h"

#include <QIODevice>

namespace {

enum LogColumn {
    TimeColumn,
    PanelColumn,
    SourceAndPortColumn,
    EventColumn,
    DetailColumn,
    ColumnCount
};

const char* const Headings[ColumnCount] = { QT_TR_NOOP("Time"), QT_TR_NOOP("Panel"),
    QT_TR_NOOP("Source"), QT_TR_NOOP("Event"), QT_TR_NOOP("Detail") };

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

LogModel::LogModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int LogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_events.size());
}

int LogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString LogModel::cell(const Event& event, int column) const
{
    switch (column) {
    case TimeColumn:
        return event.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case PanelColumn:
        return event.panel;
    case SourceAndPortColumn:
        return event.sourceText();
    case EventColumn:
        return event.name();
    default:
        return event.detail;
    }
}

QVariant LogModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return cell(m_events[std::size_t(index.row())], index.column());
}

QVariant LogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    return section >= 0 && section < ColumnCount ? tr(Headings[section]) : QVariant();
}

void LogModel::append(const Event& event)
{
    if (m_events.size() == Capacity) {
        beginRemoveRows({}, 0, 0);
        m_events.pop_front();
        endRemoveRows();
    }
    beginInsertRows({}, int(m_events.size()), int(m_events.size()));
    m_events.push_back(event);
    endInsertRows();
}

bool LogModel::writeCsv(QIODevice& device) const
{
    QStringList lines;
    // The same names in every language, for the programs that read the file.
    QStringList header;
    for (const char* heading : Headings)
        header << QString::fromLatin1(heading).toLower();
    lines << header.join(QLatin1Char(','));
    for (const Event& event : m_events) {
        QStringList fields;
        for (int column = 0; column < ColumnCount; ++column)
            fields << csvField(cell(event, column));
        lines << fields.join(QLatin1Char(','));
    }
    const QByteArray text = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    return device.write(text) == text.size();
}
