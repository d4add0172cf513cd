#include "net/PanelNames.h"

QString PanelNames::next(const QString& name)
{
    const int same = ++m_seen[name];
    return same == 1 ? name : name + QLatin1String(" #") + QString::number(same);
}
