#pragma once

#include <QString>

#include <cstdint>
#include <string>

class QAbstractButton;
class QLineEdit;
class QWidget;

// Reads a panel's fields into its members when the user presses Start, in the panel's
// order. At the first field that fails its check the user is told what it accepts, that
// field gets the focus with its text selected, and the fields after it are not read.
class CFieldReader {
public:
    explicit CFieldReader(QWidget* panel);

    bool Ok() const { return !m_bFailed; }

    void Text(QLineEdit* edit, QString& value, int maxChars);
    // Dotted-decimal IPv4 text; spaces around it are dropped.
    void Address(QLineEdit* edit, std::string& value);
    void Number(QLineEdit* edit, std::uint32_t& value, std::uint32_t min, std::uint32_t max);
    void Check(QAbstractButton* box, bool& value);

private:
    void fail(QLineEdit* edit, const QString& message);

    QWidget* m_pPanel = nullptr;
    bool m_bFailed = false;
};

// Shows a member in its field. A field whose text stays is left alone, so that a field
// shown every second keeps its selection and cursor where the user left them.
void ShowField(QLineEdit* edit, const QString& text);
void ShowField(QLineEdit* edit, std::uint32_t value);
