#pragma once

#include <QString>

#include <functional>

class QWidget;

// Buttons and icons of a message box, combined with |.
enum : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
};
constexpr unsigned MB_TYPEMASK = 0x0f;
constexpr unsigned MB_ICONMASK = 0xf0;

// The button that closed a message box.
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct MessageBoxRequest {
    QWidget* owner = nullptr;
    QString text;
    QString caption;
    unsigned type = MB_OK;
};

using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Every message box of the program goes through here. It is modal and returns the button
// pressed; closing it with Escape answers Cancel where there is one, else OK.
int ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type);

// Replaces the boxes on screen by a handler (tests answer them this way); an empty
// handler restores the real boxes. Returns the handler that was installed before.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
