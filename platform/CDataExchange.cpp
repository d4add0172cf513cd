#include "CDataExchange.h"

#include "MessageBox.h"

#include <QAbstractButton>
#include <QLineEdit>

CDataExchange::CDataExchange(QWidget* dialog, bool saveAndValidate)
    : m_bSaveAndValidate(saveAndValidate)
    , m_pDialog(dialog)
{
}

namespace {

// Panels show their members every second; a field whose text stays is left alone, so that
// it is not repainted and its selection and cursor stay where the user left them.
void show(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}

} // namespace

void CDataExchange::Text(QLineEdit* edit, QString& value, int maxChars)
{
    if (!m_bSaveAndValidate) {
        if (edit->maxLength() != maxChars)
            edit->setMaxLength(maxChars);
        show(edit, value);
        return;
    }
    if (!reading())
        return;
    const QString text = edit->text();
    if (text.size() > maxChars) {
        fail(edit, QStringLiteral("Enter no more than %1 characters.").arg(maxChars));
        return;
    }
    value = text;
}

void CDataExchange::Text(QLineEdit* edit, std::string& value, int maxChars)
{
    QString text = QString::fromStdString(value);
    Text(edit, text, maxChars);
    if (reading())
        value = text.toStdString();
}

void CDataExchange::Number(
    QLineEdit* edit, std::uint32_t& value, std::uint32_t min, std::uint32_t max)
{
    if (!m_bSaveAndValidate) {
        show(edit, QString::number(value));
        return;
    }
    if (!reading())
        return;
    const QString text = edit->text().trimmed();
    bool ok = !text.isEmpty();
    for (const QChar c : text)
        ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const qulonglong number = ok ? text.toULongLong(&ok) : 0;
    if (!ok || number < min || number > max) {
        fail(edit, QStringLiteral("Enter a whole number from %1 to %2.").arg(min).arg(max));
        return;
    }
    value = static_cast<std::uint32_t>(number);
}

void CDataExchange::Check(QAbstractButton* box, bool& value)
{
    if (!m_bSaveAndValidate)
        box->setChecked(value);
    else if (reading())
        value = box->isChecked();
}

void CDataExchange::fail(QLineEdit* edit, const QString& message)
{
    m_bFailed = true;
    ShowMessageBox(m_pDialog, message, QStringLiteral("Lumivox Tool"), MB_ICONEXCLAMATION | MB_OK);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}
