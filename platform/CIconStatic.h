#pragma once

#include <QPixmap>
#include <QWidget>

// A small icon that lights up and goes out. Only its drawing changes: showing and hiding a
// widget would make its window lay itself out again, many times a second under traffic.
class CIconStatic : public QWidget {
    Q_OBJECT

public:
    explicit CIconStatic(QWidget* parent = nullptr);

    void SetIcon(const QPixmap& icon);
    void ShowIcon(bool show);
    bool IsIconShown() const { return m_bShown; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_icon;
    bool m_bShown = false;
};
