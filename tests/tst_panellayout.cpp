#include "Widgets.h"

#include "receiver/CAddRx.h"
#include "transmitter/CAddTx.h"

#include <QAccessible>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<QWidget> makePanel(const QString& kind)
{
    if (kind == QLatin1String("transmitter"))
        return std::make_unique<CAddTx>();
    return std::make_unique<CAddRx>();
}

// The control a focused widget belongs to (an editable combo box focuses its line edit).
QString controlId(QWidget* widget)
{
    while (widget && !widget->objectName().startsWith(QLatin1String("IDC_")))
        widget = widget->parentWidget();
    return widget ? widget->objectName() : QStringLiteral("(none)");
}

} // namespace

// Keyboard order, field names for screen readers and nothing cut off or overlapping; run
// at the normal scale and again with QT_SCALE_FACTOR=2.
class tst_PanelLayout : public QObject {
    Q_OBJECT

private slots:
    void tabOrder_data();
    void tabOrder();
    void labelsNameTheirFields_data();
    void labelsNameTheirFields();
    void listHeadingsWrapInsteadOfBeingCut();
    void nothingCutOffOrOverlapping_data();
    void nothingCutOffOrOverlapping();
};

void tst_PanelLayout::tabOrder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("transmitter") << "transmitter"
                                 << QStringList { "IDC_TX_GROUP", "IDC_TX_PORT", "IDC_TX_INTERFACE",
                                        "IDC_TX_FREQUENCY", "IDC_TX_PACKET_SIZE",
                                        "IDC_TX_RANDOMISE", "IDC_TX_TTL", "IDC_TX_START",
                                        "IDC_TX_GROUP" };
    QTest::newRow("receiver") << "receiver"
                              << QStringList { "IDC_RX_GROUP", "IDC_RX_PORT", "IDC_RX_JOIN_CHECK",
                                     "IDC_RX_LOSS_THRESHOLD", "IDC_RX_MAX_LATENCY",
                                     "IDC_RX_TRAP_DEST", "IDC_RX_COMMUNITY", "IDC_RX_START",
                                     "IDC_RX_RESET", "IDC_RX_SOURCES", "IDC_RX_GROUP" };
}

void tst_PanelLayout::tabOrder()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, order);
    auto panel = makePanel(kind);
    QVERIFY(showActive(panel.get()));
    control(panel.get(), qPrintable(order.first()))->setFocus();
    QStringList visited { controlId(QApplication::focusWidget()) };
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << controlId(QApplication::focusWidget());
    }
    QCOMPARE(visited, order);
}

void tst_PanelLayout::labelsNameTheirFields_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("name");
    QTest::newRow("tx group") << "transmitter" << QByteArray("IDC_TX_GROUP")
                              << "Destination Multicast Address";
    QTest::newRow("tx port") << "transmitter" << QByteArray("IDC_TX_PORT")
                             << "Destination UDP Port";
    QTest::newRow("tx ttl") << "transmitter" << QByteArray("IDC_TX_TTL") << "TTL";
    QTest::newRow("tx countdown") << "transmitter" << QByteArray("IDC_TX_COUNTDOWN")
                                  << "Countdown to Next Transmission";
    QTest::newRow("tx interface") << "transmitter" << QByteArray("IDC_TX_INTERFACE")
                                  << "Output Interface";
    QTest::newRow("rx join box") << "receiver" << QByteArray("IDC_RX_JOIN_CHECK")
                                 << "Perform IGMP Join";
    QTest::newRow("rx latency") << "receiver" << QByteArray("IDC_RX_MAX_LATENCY")
                                << "Maximum  Latency (secs)";
    QTest::newRow("rx community") << "receiver" << QByteArray("IDC_RX_COMMUNITY") << "Community";
}

void tst_PanelLayout::labelsNameTheirFields()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, field);
    QFETCH(QString, name);
    auto panel = makePanel(kind);
    QWidget* widget = control(panel.get(), field.constData());
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), name);
    bool hasBuddyLabel = false;
    for (QLabel* label : panel->findChildren<QLabel*>())
        hasBuddyLabel = hasBuddyLabel || label->buddy() == widget;
    QVERIFY(hasBuddyLabel);
}

void tst_PanelLayout::listHeadingsWrapInsteadOfBeingCut()
{
    CAddRx panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    auto* list = control<QTreeView>(&panel, "IDC_RX_SOURCES");
    QHeaderView* header = list->header();
    const QFontMetrics metrics(header->font());
    auto fits = [&] {
        for (int c = 0; c < list->model()->columnCount(); ++c) {
            const QString heading = list->model()->headerData(c, Qt::Horizontal).toString();
            const QRect needed = metrics.boundingRect(
                QRect(0, 0, header->sectionSize(c) - 4, 100000), Qt::TextWordWrap, heading);
            if (needed.height() > header->height() || needed.width() > header->sectionSize(c))
                return false;
        }
        return true;
    };
    QVERIFY(fits());
    const int narrowHeight = header->height();
    panel.resize(panel.width() * 3, panel.height());
    QTRY_VERIFY(header->height() < narrowHeight);
    QVERIFY(fits());
}

void tst_PanelLayout::nothingCutOffOrOverlapping_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("transmitter") << "transmitter";
    QTest::newRow("receiver") << "receiver";
}

void tst_PanelLayout::nothingCutOffOrOverlapping()
{
    QFETCH(QString, kind);
    auto panel = makePanel(kind);
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
    QList<QWidget*> controls;
    for (QWidget* child : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isHidden())
            controls << child;
    }
    QVERIFY(controls.size() > 10);
    for (QWidget* c : controls) {
        const QString what = controlId(c) + QLatin1Char(' ')
            + (qobject_cast<QLabel*>(c) ? qobject_cast<QLabel*>(c)->text() : QString());
        QVERIFY2(panel->rect().contains(c->geometry()), qPrintable(what + " leaves the panel"));
        if (qobject_cast<QLabel*>(c) || qobject_cast<QAbstractButton*>(c))
            QVERIFY2(c->width() >= c->sizeHint().width(), qPrintable(what + " is cut off"));
        for (QWidget* other : controls) {
            if (other != c && c->geometry().intersects(other->geometry()))
                QFAIL(qPrintable(what + " overlaps " + controlId(other)));
        }
    }
}

QTEST_MAIN(tst_PanelLayout)
#include "tst_panellayout.moc"
