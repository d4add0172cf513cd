#pragma once

#include <QPixmap>
#include <QWidget>

// A small lamp that lights up and goes out. Only its drawing changes: showing and hiding a
// widget would make its window lay itself out again, many times a second under traffic.
class ActivityLamp : public QWidget {
    Q_OBJECT

public:
    explicit ActivityLamp(QWidget* parent = nullptr);

    void setLit(bool lit);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_picture;
    bool m_lit = false;
};
