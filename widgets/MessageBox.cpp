#include "widgets/MessageBox.h"

#include "net/SystemError.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QScreen>

#include <algorithm>

namespace {

MessageBoxHandler& handler()
{
    static MessageBoxHandler installed;
    return installed;
}

bool networkBoxUp = false;

// To the right of the panel, or else to its left, level with the field; where neither side
// has room on the screen, where Qt puts it.
void placeBeside(QMessageBox& box, const QWidget& panel, const QWidget& field)
{
    const QScreen* screen = panel.screen();
    if (!screen)
        return;
    const QSize size = box.sizeHint();
    const QRect room = screen->availableGeometry();
    const QRect around(panel.mapToGlobal(QPoint(0, 0)), panel.size());
    const int top = std::clamp(field.mapToGlobal(QPoint(0, 0)).y(), room.top(),
        std::max(room.top(), room.bottom() - size.height()));
    if (around.right() + size.width() < room.right())
        box.move(around.right() + 1, top);
    else if (around.left() - size.width() > room.left())
        box.move(around.left() - size.width(), top);
}

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
    if (request.about && request.owner)
        placeBeside(*box, *request.owner, *request.about);
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
    if (handler()) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [request] {
                handler()(request);
                networkBoxUp = false;
            },
            Qt::QueuedConnection);
        return;
    }
    // Goes when it is closed, or with an owner that closes first.
    auto* box = new QMessageBox(
        request.icon, request.caption, request.text, request.buttons, request.owner.data());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QObject::connect(box, &QObject::destroyed, [] { networkBoxUp = false; });
    box->show();
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

QString askSaveFileName(
    QWidget* owner, const QString& caption, const QString& filter, const QString& suffix)
{
    QFileDialog dialog(owner, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without it gets it, and the question before overwriting is about that
    // file.
    dialog.setDefaultSuffix(suffix);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}
