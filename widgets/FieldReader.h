#pragma once

#include "core/Defaults.h"

#include <QCoreApplication>
#include <QHostAddress>

class QLineEdit;
class QWidget;

// Reads a panel's fields when the user presses Start, in the panel's order. At the first
// field that fails its check the user is told what it accepts, that field gets the focus
// with its text selected, and the fields after it are left as they are.
class FieldReader {
    Q_DECLARE_TR_FUNCTIONS(FieldReader)

public:
    explicit FieldReader(QWidget* panel);

    bool ok() const { return !m_failed; }

    // Dotted-decimal IPv4 or IPv6 text; spaces around it are dropped. An optional field may
    // be empty, for a null address.
    void readAddress(QLineEdit* edit, QHostAddress& value, bool optional = false);
    template <class Number> void readNumber(QLineEdit* edit, Number& value, Range range)
    {
        quint32 read = value;
        readNumber32(edit, read, range);
        value = Number(read);
    }

    // Any other check: when valid is false, the user is told the message.
    void check(QLineEdit* edit, bool valid, const QString& message);

private:
    void readNumber32(QLineEdit* edit, quint32& value, Range range);
    void fail(QLineEdit* edit, const QString& message);

    QWidget* m_panel = nullptr;
    bool m_failed = false;
};

// Shows a value in its field. A field whose text stays is left alone, so that a field
// shown every second keeps its selection and cursor where the user left them.
void showField(QLineEdit* edit, const QString& text);
void showField(QLineEdit* edit, quint32 value);
