#pragma once

#include <QHash>
#include <QString>

// Tells apart panels of one name, such as two receivers of one group and port, alike in the
// window's titles, in metrics, in headless rows and in the summary: the first keeps its name,
// the second and later get " #2", " #3", ... in the order they are named.
class PanelNames {
public:
    QString next(const QString& name);

private:
    QHash<QString, int> m_seen;
};
