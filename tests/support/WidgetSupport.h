#pragma once

#include "widgets/MessageBox.h"

#include "TestSupport.h"

#include <QTest>

// Answers every message box while it exists, with the answers given in turn, the last again
// and again, and keeps what was asked.
struct MessageBoxRecorder {
    explicit MessageBoxRecorder(QList<QMessageBox::StandardButton> answers = { QMessageBox::Ok })
        : previous(setMessageBoxHandler([this, answers](const MessageBoxRequest& request) {
            boxes.append(request);
            return answers.at(std::min(boxes.size(), answers.size()) - 1);
        }))
    {
    }
    ~MessageBoxRecorder() { setMessageBoxHandler(std::move(previous)); }

    QList<MessageBoxRequest> boxes;
    MessageBoxHandler previous;
};

template <class Widget = QWidget> Widget* child(QWidget* parent, const char* name)
{
    auto* found = parent->findChild<Widget*>(QLatin1String(name));
    if (!found)
        qFatal("no %s", name);
    return found;
}

// A click that a disabled button refuses, as it would a user's.
inline void click(QWidget* panel, const char* button)
{
    QTest::mouseClick(child(panel, button), Qt::LeftButton);
}
