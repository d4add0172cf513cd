#include "widgets/FieldReader.h"

#include "net/Parsing.h"
#include "widgets/MessageBox.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>

FieldReader::FieldReader(QWidget* panel)
    : m_panel(panel)
{
}

void FieldReader::readAddress(QLineEdit* edit, QHostAddress& value, bool optional)
{
    if (m_failed)
        return;
    const QString text = edit->text().trimmed();
    if (optional && text.isEmpty())
        value = QHostAddress();
    else if (const auto address = parseAddress(text))
        value = *address;
    else
        fail(edit, tr("Enter an IPv4 or IPv6 address such as 234.5.6.7 or ff15::1234."));
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

void FieldReader::check(QLineEdit* edit, bool valid, const QString& message)
{
    if (!m_failed && !valid)
        fail(edit, message);
}

// The box names the field by its label, without the range the label may add, and opens
// beside the panel rather than over it.
void FieldReader::fail(QLineEdit* edit, const QString& message)
{
    m_failed = true;
    QString text = message;
    for (const QLabel* label : m_panel->findChildren<QLabel*>()) {
        if (label->buddy() == edit) {
            const QString name
                = label->text().remove(QLatin1Char('&')).section(QStringLiteral(" ("), 0, 0);
            text = name + QStringLiteral(": ") + message.left(1).toLower() + message.mid(1);
        }
    }
    MessageBoxRequest request { m_panel, text, QGuiApplication::applicationDisplayName(),
        QMessageBox::Warning };
    request.about = edit;
    showMessageBox(request);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

void showField(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}

void showField(QLineEdit* edit, quint32 value) { showField(edit, QString::number(value)); }
