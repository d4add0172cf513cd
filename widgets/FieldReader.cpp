#include "widgets/FieldReader.h"

#include "net/Parsing.h"
#include "widgets/MessageBox.h"

#include <QGuiApplication>
#include <QLineEdit>

FieldReader::FieldReader(QWidget* panel)
    : m_panel(panel)
{
}

void FieldReader::readAddress(QLineEdit* edit, QHostAddress& value)
{
    if (m_failed)
        return;
    if (const auto address = parseIPv4(edit->text().trimmed()))
        value = *address;
    else
        fail(edit, tr("Enter an IPv4 address such as 234.5.6.7."));
}

void FieldReader::readNumber32(QLineEdit* edit, quint32& value, Range range)
{
    if (m_failed)
        return;
    if (const auto number = parseNumber(edit->text().trimmed(), range))
        value = *number;
    else
        fail(edit, tr("Enter a whole number from %1 to %2.").arg(range.min).arg(range.max));
}

void FieldReader::fail(QLineEdit* edit, const QString& message)
{
    m_failed = true;
    showMessageBox(
        { m_panel, message, QGuiApplication::applicationDisplayName(), QMessageBox::Warning });
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

void showField(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}

void showField(QLineEdit* edit, quint32 value) { showField(edit, QString::number(value)); }
