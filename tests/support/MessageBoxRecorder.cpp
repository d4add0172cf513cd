#include "MessageBoxRecorder.h"

#include <algorithm>

MessageBoxRecorder::MessageBoxRecorder(QMessageBox::StandardButton answer)
    : m_answer(answer)
{
    m_previous = SetMessageBoxHandler([this](const MessageBoxRequest& request) {
        boxes.append(request);
        deepest = std::max(deepest, ++m_depth);
        if (m_whileOpen)
            m_whileOpen();
        --m_depth;
        return m_answer;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxHandler(std::move(m_previous)); }
