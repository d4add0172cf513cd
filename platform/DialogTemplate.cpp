#include "DialogTemplate.h"

#include "CIconStatic.h"
#include "CListCtrl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

QWidget* createControl(QWidget* dialog, const ControlTemplate& control, const QString& icon)
{
    switch (control.kind) {
    case ControlKind::Label:
        return new QLabel(control.text, dialog);
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(control.text, dialog);
        edit->setReadOnly(control.style & CS_READONLY);
        return edit;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(control.text, dialog);
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(dialog);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::InsertAlphabetically);
        return combo;
    }
    case ControlKind::PushButton: {
        auto* button = new QPushButton(control.text, dialog);
        button->setAutoDefault(false);
        return button;
    }
    case ControlKind::Icon:
        return new CIconStatic(QPixmap(icon), dialog);
    case ControlKind::ListView:
        return new CListCtrl(dialog);
    }
    return nullptr;
}

} // namespace

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = std::max(1, (letters / 26 + 1) / 2);
    m_baseY = std::max(1, metrics.height());
}

QRect DialogUnits::rect(const QRect& units) const
{
    // From the converted corners, so that controls that meet in dialog units still meet,
    // and never overlap, in pixels.
    return QRect(QPoint(x(units.left()), y(units.top())),
        QPoint(x(units.left() + units.width()) - 1, y(units.top() + units.height()) - 1));
}

void DialogUnits::fitText(int pixels, int units)
{
    if (units > 0)
        m_baseX = std::max(m_baseX, (pixels * 4 + units - 1) / units);
}

QSize CreateDialogControls(
    QWidget* dialog, const DialogTemplate& dialogTemplate, const QString& iconResource)
{
    std::vector<QWidget*> widgets;
    DialogUnits units(dialog->font());
    for (const ControlTemplate& control : dialogTemplate.controls) {
        widgets.push_back(createControl(dialog, control, iconResource));
        // Fonts here are wider than the one the layout was drawn for: rather than cut off
        // text, the whole dialog grows until every label fits its place.
        if (control.kind == ControlKind::Label || control.kind == ControlKind::CheckBox)
            units.fitText(widgets.back()->sizeHint().width(), control.rect.width());
    }
    QWidget* previous = nullptr;
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        const ControlTemplate& control = dialogTemplate.controls[i];
        QWidget* widget = widgets[i];
        widget->setObjectName(QLatin1String(control.id));
        QRect geometry = units.rect(control.rect);
        if (control.kind == ControlKind::Label || control.kind == ControlKind::CheckBox)
            geometry.setHeight(std::max(geometry.height(), widget->sizeHint().height()));
        widget->setGeometry(geometry);
        const bool takesInput
            = control.kind == ControlKind::Edit || control.kind == ControlKind::ListView;
        widget->setFocusPolicy(control.style & CS_TABSTOP ? Qt::StrongFocus
                : takesInput                              ? Qt::ClickFocus
                                                          : Qt::NoFocus);
        widget->setEnabled(!(control.style & CS_DISABLED));
        if (auto* icon = qobject_cast<CIconStatic*>(widget))
            icon->ShowIcon(!(control.style & CS_HIDDEN));
        else
            widget->setVisible(!(control.style & CS_HIDDEN));
        if (control.style & CS_TABSTOP) {
            if (previous)
                QWidget::setTabOrder(previous, widget);
            previous = widget;
        }
    }
    // Labels name their fields, for the keyboard and for screen readers.
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        const ControlTemplate& control = dialogTemplate.controls[i];
        auto* label = qobject_cast<QLabel*>(widgets[i]);
        QWidget* field = control.buddy
            ? dialog->findChild<QWidget*>(QLatin1String(control.buddy), Qt::FindDirectChildrenOnly)
            : nullptr;
        if (label && field) {
            label->setBuddy(field);
            field->setAccessibleName(control.text.simplified());
        }
    }
    return QSize(units.x(dialogTemplate.size.width()), units.y(dialogTemplate.size.height()));
}
