#include "res/Pictures.h"

#include <QIcon>
#include <QPixmap>

QPixmap activityPicture() { return QPixmap(QStringLiteral(":/res/activity.png")); }

QPixmap logoBanner() { return QPixmap(QStringLiteral(":/res/logo.bmp")); }

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : { 16, 32, 64, 256 })
        icon.addFile(QStringLiteral(":/res/icons/lumivox-tool-%1.png").arg(size));
    return icon;
}
