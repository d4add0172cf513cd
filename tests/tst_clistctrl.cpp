#include "CListCtrl.h"

#include <QApplication>
#include <QClipboard>
#include <QtTest>

class tst_CListCtrl : public QObject {
    Q_OBJECT

private slots:
    void insertPositions_data();
    void insertPositions();
    void cellsOutsideTheListAreRefused();
    void copySelectedRows();
};

void tst_CListCtrl::insertPositions_data()
{
    QTest::addColumn<QList<int>>("positions");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("past the end appends")
        << QList<int> { 65535, 65535, 65535 } << QStringList { "a", "b", "c" };
    QTest::newRow("at the front") << QList<int> { 0, 0 } << QStringList { "b", "a" };
    QTest::newRow("in between") << QList<int> { 0, 1, 1 } << QStringList { "a", "c", "b" };
}

void tst_CListCtrl::insertPositions()
{
    QFETCH(QList<int>, positions);
    QFETCH(QStringList, order);
    CListCtrl list;
    list.InsertColumn(0, QStringLiteral("Name"), 50);
    list.InsertColumn(1, QStringLiteral("Value"), 50);
    const char* names[] = { "a", "b", "c" };
    for (int i = 0; i < positions.size(); ++i) {
        const int row = list.InsertItem(positions.at(i), QLatin1String(names[i]));
        QCOMPARE(list.GetItemText(row, 0), QLatin1String(names[i]));
    }
    QStringList shown;
    for (int row = 0; row < list.GetItemCount(); ++row)
        shown << list.model()->index(row, 0).data().toString();
    QCOMPARE(shown, order);
}

void tst_CListCtrl::cellsOutsideTheListAreRefused()
{
    CListCtrl list;
    list.InsertColumn(0, QStringLiteral("Name"), 50);
    list.InsertColumn(1, QStringLiteral("Value"), 50);
    QCOMPARE(list.InsertItem(0, QStringLiteral("a")), 0);
    QVERIFY(list.SetItemText(0, 1, QStringLiteral("1")));
    QVERIFY(!list.SetItemText(1, 0, QStringLiteral("x")));
    QVERIFY(!list.SetItemText(0, 2, QStringLiteral("x")));
    QVERIFY(!list.SetItemText(-1, 0, QStringLiteral("x")));
    QCOMPARE(list.model()->index(0, 1).data().toString(), QStringLiteral("1"));
}

void tst_CListCtrl::copySelectedRows()
{
    CListCtrl list;
    list.InsertColumn(0, QStringLiteral("Source IP"), 50);
    list.InsertColumn(1, QStringLiteral("Dups"), 50);
    for (const char* name : { "10.0.0.1", "10.0.0.2", "10.0.0.3" }) {
        const int row = list.InsertItem(65535, QLatin1String(name));
        list.SetItemText(row, 1, QString::number(row));
    }
    list.show();
    list.setFocus();
    list.selectionModel()->select(
        list.model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list.selectionModel()->select(
        list.model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keySequence(&list, QKeySequence::Copy);
    QCOMPARE(QApplication::clipboard()->text(),
        QStringLiteral("Source IP\tDups\n10.0.0.1\t0\n10.0.0.3\t2\n"));
}

QTEST_MAIN(tst_CListCtrl)
#include "tst_clistctrl.moc"
