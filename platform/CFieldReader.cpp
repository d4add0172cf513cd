#include "platform/CFieldReader.h"

#include "platform/Application.h"
#include "platform/CUdpSocket.h"
#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <QLineEdit>

CFieldReader::CFieldReader(QWidget* panel)
    : m_pPanel(panel)
{
}

void CFieldReader::Text(QLineEdit* edit, QString& value, int maxChars)
{
    if (m_bFailed)
        return;
    const QString text = edit->text();
    if (text.size() > maxChars)
        fail(edit, QStringLiteral("Enter no more than %1 characters.").arg(maxChars));
    else
        value = text;
}

void CFieldReader::Address(QLineEdit* edit, std::string& value)
{
    if (m_bFailed)
        return;
    const std::string text = edit->text().trimmed().toStdString();
    if (!CUdpSocket::IsIPv4Address(text))
        fail(edit, QStringLiteral("Enter an IPv4 address such as 234.5.6.7."));
    else
        value = text;
}

void CFieldReader::Number(
    QLineEdit* edit, std::uint32_t& value, std::uint32_t min, std::uint32_t max)
{
    if (m_bFailed)
        return;
    const QString text = edit->text().trimmed();
    bool ok = !text.isEmpty();
    for (const QChar c : text)
        ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const qulonglong number = ok ? text.toULongLong(&ok) : 0;
    if (!ok || number < min || number > max)
        fail(edit, QStringLiteral("Enter a whole number from %1 to %2.").arg(min).arg(max));
    else
        value = std::uint32_t(number);
}

void CFieldReader::Check(QAbstractButton* box, bool& value)
{
    if (!m_bFailed)
        value = box->isChecked();
}

void CFieldReader::fail(QLineEdit* edit, const QString& message)
{
    m_bFailed = true;
    ShowMessageBox({ m_pPanel, message, QLatin1String(APPLICATION_NAME), QMessageBox::Warning });
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

void ShowField(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}

void ShowField(QLineEdit* edit, std::uint32_t value) { ShowField(edit, QString::number(value)); }
