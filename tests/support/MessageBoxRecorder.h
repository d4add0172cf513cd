#pragma once

#include "MessageBox.h"

#include <QList>

#include <functional>

// Answers every message box while it exists and remembers what was asked.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(int answer = IDOK);
    ~MessageBoxRecorder();

    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    // Runs while a box is "open", before it is answered (to let events in meanwhile).
    void setWhileOpen(std::function<void()> whileOpen) { m_whileOpen = std::move(whileOpen); }
    void setAnswer(int answer) { m_answer = answer; }

    QList<MessageBoxRequest> boxes;
    int deepest = 0;

private:
    int m_answer = IDOK;
    int m_depth = 0;
    std::function<void()> m_whileOpen;
    MessageBoxHandler m_previous;
};
