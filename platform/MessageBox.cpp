#include "platform/MessageBox.h"

#include "platform/SystemError.h"

#include <QCoreApplication>

namespace {

MessageBoxHandler& handler()
{
    static MessageBoxHandler installed;
    return installed;
}

bool s_bNetworkBoxUp = false;

QMessageBox::StandardButton showOnScreen(const MessageBoxRequest& request)
{
    // On the heap and watched: an owner that closes while the box is open deletes the box
    // with its other children.
    QPointer<QMessageBox> box = new QMessageBox(
        request.icon, request.caption, request.text, request.buttons, request.owner.data());
    const auto answer = QMessageBox::StandardButton(box->exec());
    delete box.data();
    if (answer != QMessageBox::NoButton)
        return answer;
    return request.buttons & QMessageBox::Cancel ? QMessageBox::Cancel : QMessageBox::Ok;
}

} // namespace

QMessageBox::StandardButton ShowMessageBox(const MessageBoxRequest& request)
{
    if (handler())
        return handler()(request);
    return showOnScreen(request);
}

bool ShowNetworkMessageBox(const MessageBoxRequest& request)
{
    if (s_bNetworkBoxUp)
        return false;
    s_bNetworkBoxUp = true;
    ShowMessageBox(request);
    s_bNetworkBoxUp = false;
    return true;
}

void PostNetworkMessageBox(const MessageBoxRequest& request)
{
    if (s_bNetworkBoxUp)
        return;
    s_bNetworkBoxUp = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [request] {
            ShowMessageBox(request);
            s_bNetworkBoxUp = false;
        },
        Qt::QueuedConnection);
}

void ShowSystemError(const QString& caption, int error)
{
    ShowMessageBox({ nullptr, SystemErrorText(error), caption, QMessageBox::Information });
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler replacement)
{
    MessageBoxHandler previous = std::move(handler());
    handler() = std::move(replacement);
    return previous;
}
