#pragma once

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>

// Finds a control by its control id.
template <class Control = QWidget> Control* control(QWidget* dialog, const char* id)
{
    auto* found = dialog->findChild<Control*>(QLatin1String(id));
    if (!found)
        qFatal("no control %s", id);
    return found;
}

inline QString textOf(QWidget* dialog, const char* id)
{
    return control<QLineEdit>(dialog, id)->text();
}

// Clicks a button as a user would: refused when the button is disabled.
inline void clickButton(QWidget* dialog, const char* id)
{
    QTest::mouseClick(control<QAbstractButton>(dialog, id), Qt::LeftButton);
}

// Replaces a field's text by typing into it.
inline void typeInto(QWidget* dialog, const char* id, const QString& text)
{
    auto* edit = control<QLineEdit>(dialog, id);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// Shows a top-level widget and waits until it has the keyboard focus of the screen.
inline bool showActive(QWidget* window)
{
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}
