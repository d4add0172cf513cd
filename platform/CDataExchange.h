#pragma once

#include <QString>

#include <cstdint>
#include <string>

class QAbstractButton;
class QLineEdit;
class QWidget;

// Moves values between a dialog's fields and its members. Reading stops at the first field
// that fails its check: the user is told what is allowed, the field gets the focus with its
// text selected, and every later exchange does nothing.
class CDataExchange {
public:
    CDataExchange(QWidget* dialog, bool saveAndValidate);

    bool m_bSaveAndValidate = false;
    bool Failed() const { return m_bFailed; }

    // Text of at most maxChars characters; when loading, the edit takes no more than that.
    void Text(QLineEdit* edit, QString& value, int maxChars);
    void Text(QLineEdit* edit, std::string& value, int maxChars);
    // An unsigned decimal number from min to max.
    void Number(QLineEdit* edit, std::uint32_t& value, std::uint32_t min = 0,
        std::uint32_t max = UINT32_MAX);
    void Check(QAbstractButton* box, bool& value);

private:
    bool reading() const { return m_bSaveAndValidate && !m_bFailed; }
    void fail(QLineEdit* edit, const QString& message);

    QWidget* m_pDialog = nullptr;
    bool m_bFailed = false;
};
