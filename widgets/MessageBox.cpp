#include "widgets/MessageBox.h"

#include "net/SystemError.h"

#include <QCoreApplication>
#include <QFileDialog>

namespace {

MessageBoxHandler& handler()
{
    static MessageBoxHandler installed;
    return installed;
}

bool networkBoxUp = false;

QMessageBox::StandardButton showOnScreen(const MessageBoxRequest& request)
{
    if (request.aboutQt) {
        QMessageBox::aboutQt(request.owner, request.caption);
        return QMessageBox::Ok;
    }
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

QMessageBox::StandardButton showMessageBox(const MessageBoxRequest& request)
{
    if (handler())
        return handler()(request);
    return showOnScreen(request);
}

void showNetworkMessageBox(const MessageBoxRequest& request)
{
    if (networkBoxUp)
        return;
    networkBoxUp = true;
    showMessageBox(request);
    networkBoxUp = false;
}

void postNetworkMessageBox(const MessageBoxRequest& request)
{
    if (networkBoxUp)
        return;
    networkBoxUp = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [request] {
            showMessageBox(request);
            networkBoxUp = false;
        },
        Qt::QueuedConnection);
}

void showSystemError(const QString& caption, int error)
{
    showMessageBox({ nullptr, systemErrorText(error), caption, QMessageBox::Information });
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler replacement)
{
    MessageBoxHandler previous = std::move(handler());
    handler() = std::move(replacement);
    return previous;
}

namespace {

SaveFileNameHandler& saveFileNameHandler()
{
    static SaveFileNameHandler installed;
    return installed;
}

} // namespace

QString askSaveFileName(QWidget* owner, const QString& caption, const QString& filter)
{
    if (saveFileNameHandler())
        return saveFileNameHandler()();
    return QFileDialog::getSaveFileName(owner, caption, QString(), filter);
}

SaveFileNameHandler setSaveFileNameHandler(SaveFileNameHandler handler)
{
    return std::exchange(saveFileNameHandler(), std::move(handler));
}
