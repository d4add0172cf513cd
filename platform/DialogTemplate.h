#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

class QFont;
class QWidget;

enum class ControlKind { Label, Edit, CheckBox, ComboBox, PushButton, Icon, ListView };

// Styles of a control, combined with |.
enum ControlStyle : unsigned {
    CS_NONE = 0,
    CS_TABSTOP = 1,
    CS_READONLY = 2,
    CS_DISABLED = 4,
    CS_HIDDEN = 8,
    CS_AUTOHSCROLL = 16,
};

// One control of a dialog template; the rectangle is in dialog units.
struct ControlTemplate {
    ControlKind kind;
    const char* id; // the control id, which becomes the widget's object name; may be empty
    QRect rect;
    QString text;
    unsigned style = CS_NONE;
    const char* buddy = nullptr; // for a label: the id of the field it names
};

struct DialogTemplate {
    int id = 0;
    QSize size; // in dialog units
    std::vector<ControlTemplate> controls; // in tab order
};

// Converts dialog units to pixels from the average character size of a font, so that the
// layout grows with the font and the screen scale as the original dialogs did.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int x(int units) const { return (units * m_baseX + 2) / 4; }
    int y(int units) const { return (units * m_baseY + 4) / 8; }
    QRect rect(const QRect& units) const;
    // Widens the units until pixels of text fit into units horizontal dialog units.
    void fitText(int pixels, int units);

private:
    int m_baseX = 6;
    int m_baseY = 13;
};

// Creates the template's controls as children of dialog, in tab order, and returns the
// dialog's size in pixels. Icon controls show iconResource.
QSize CreateDialogControls(
    QWidget* dialog, const DialogTemplate& dialogTemplate, const QString& iconResource = {});
