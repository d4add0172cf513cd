#pragma once

#include <QAbstractSocket>
#include <QComboBox>

// A list of the interfaces multicast can leave or arrive by: "Default (system route)", then
// each interface that is up, can multicast and has an address of the family, by name and
// address. Read again each time the list opens, so an interface that came up later is there.
class InterfaceBox : public QComboBox {
    Q_OBJECT

public:
    explicit InterfaceBox(QWidget* parent = nullptr);

    void setFamily(QAbstractSocket::NetworkLayerProtocol family);
    // The chosen interface's index; 0 for the system's choice.
    int interfaceIndex() const { return currentData().toInt(); }
    // Chooses an interface by index, listed or not yet; 0 for the system's choice.
    void selectInterface(int index);

    void showPopup() override;

private:
    void refresh();

    QAbstractSocket::NetworkLayerProtocol m_family = QAbstractSocket::IPv4Protocol;
};
