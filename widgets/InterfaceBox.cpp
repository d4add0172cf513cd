#include "widgets/InterfaceBox.h"

#include <QNetworkInterface>

InterfaceBox::InterfaceBox(QWidget* parent)
    : QComboBox(parent)
{
    refresh();
}

void InterfaceBox::setFamily(QAbstractSocket::NetworkLayerProtocol family)
{
    if (family == m_family)
        return;
    m_family = family;
    refresh();
}

void InterfaceBox::selectInterface(int index)
{
    if (index == interfaceIndex())
        return;
    refresh();
    setCurrentIndex(std::max(0, findData(index)));
}

void InterfaceBox::showPopup()
{
    refresh();
    QComboBox::showPopup();
}

void InterfaceBox::refresh()
{
    const int chosen = interfaceIndex();
    clear();
    addItem(tr("Default (system route)"), 0);
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp)
            || !flags.testFlag(QNetworkInterface::CanMulticast))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (entry.ip().protocol() == m_family) {
                addItem(QStringLiteral("%1 (%2)").arg(interface.name(), entry.ip().toString()),
                    interface.index());
                break;
            }
        }
    }
    setCurrentIndex(std::max(0, findData(chosen)));
}
