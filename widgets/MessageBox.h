#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <functional>

struct MessageBoxRequest {
    QPointer<QWidget> owner;
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    bool aboutQt = false; // Qt's own box about itself, captioned as asked
    // The field the box is about: it opens beside the owner, level with the field, so that
    // it covers neither.
    QPointer<QWidget> about = nullptr;
};

using MessageBoxHandler = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;

// Every message box of the program goes through here. It is modal and returns the button
// pressed; closing it with Escape answers Cancel where there is one, else OK. The owner may
// close while the box is open: the box goes with it and answers Cancel (or OK).
QMessageBox::StandardButton showMessageBox(const MessageBoxRequest& request);

// A box about what came from the network, which anyone on the LAN can cause at will. At
// most one such box is waiting or open in the whole program; while it is, further ones are
// dropped. It is shown once the caller has returned and is not modal: no event loop runs
// inside it, and the window, its menus and keys go on working while it is up.
void postNetworkMessageBox(const MessageBoxRequest& request);
// The same rule for a box that answers a user's own action, shown at once.
void showNetworkMessageBox(const MessageBoxRequest& request);

// The system's text for an error code in an unowned box with the information icon.
void showSystemError(const QString& caption, int error);

// The file to save to, as the user chooses it, with the suffix where none was typed; empty
// when cancelled.
QString askSaveFileName(
    QWidget* owner, const QString& caption, const QString& filter, const QString& suffix);

// Replaces the boxes on screen by a handler, for the tests; an empty handler restores the
// real boxes. Returns the handler that was installed before.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);
