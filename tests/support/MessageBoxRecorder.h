#pragma once

#include "platform/MessageBox.h"

#include <QList>

#include <functional>

// Answers every message box while it exists and remembers what was asked.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok);
    ~MessageBoxRecorder();

    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    // Runs while a box is "open", before it is answered, as the event loop of a modal box
    // would run.
    void setWhileOpen(std::function<void()> whileOpen) { m_whileOpen = std::move(whileOpen); }
    void setAnswer(QMessageBox::StandardButton answer) { m_answer = answer; }

    QList<MessageBoxRequest> boxes;
    int deepest = 0;

private:
    QMessageBox::StandardButton m_answer = QMessageBox::Ok;
    int m_depth = 0;
    std::function<void()> m_whileOpen;
    MessageBoxHandler m_previous;
};
