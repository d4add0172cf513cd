#include "receiver/CAddRx.h"

#include "platform/CIconStatic.h"

#include "MessageBoxRecorder.h"
#include "NetIsolation.h"
#include "Probes.h"
#include "UdpPeer.h"
#include "Widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

const char* const GROUP = "234.5.6.7";

QTreeView* listOf(CAddRx& panel) { return control<QTreeView>(&panel, "IDC_RX_SOURCES"); }

int rowCount(CAddRx& panel) { return listOf(panel)->model()->rowCount(); }

// A cell as the list shows it.
QString cell(CAddRx& panel, int row, int column)
{
    return listOf(panel)->model()->index(row, column).data().toString();
}

QStringList rowOf(CAddRx& panel, int row)
{
    QStringList cells;
    for (int column = 0; column < CRxSourceModel::ColumnCount; ++column)
        cells << cell(panel, row, column);
    return cells;
}

// Shows the panel, types the port and presses Start, as a user would.
void startOn(CAddRx& panel, int port)
{
    panel.show();
    typeInto(&panel, "IDC_RX_PORT", QString::number(port));
    clickButton(&panel, "IDC_RX_START");
}

bool enabled(CAddRx& panel, const char* id)
{
    return control<QPushButton>(&panel, id)->isEnabled();
}

QString startCaption(CAddRx& panel) { return control<QPushButton>(&panel, "IDC_RX_START")->text(); }

} // namespace

class tst_CAddRx : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void newPanel();
    void fieldLimits_data();
    void fieldLimits();
    void states_data();
    void states();
    void bindFailureThenRetry();
    void rowsPerSource();
    void foreignDatagramsMakeNoRow_data();
    void foreignDatagramsMakeNoRow();
    void unsignedColumnsAndDuplicates();
    void rowsSurviveStopAndStart();
    void joinAndLeaveUseGroupGivenAtStart();
    void activityShownForOneTick();
    void emptyDatagramShowsBoxAndMakesNoRow();
    void joinRefusedAtStartShowsSystemText();
    void networkBoxesOneAtATimeForTheWholeProgram_data();
    void networkBoxesOneAtATimeForTheWholeProgram();
    void copyRowsForAReport();
    void resizeKeepsMarginsAndWeights_data();
    void resizeKeepsMarginsAndWeights();
};

void tst_CAddRx::initTestCase() { REQUIRE_ISOLATED_NETWORK(); }

void tst_CAddRx::newPanel()
{
    CAddRx panel;
    QCOMPARE(textOf(&panel, "IDC_RX_GROUP"), QStringLiteral("234.5.6.7"));
    QCOMPARE(textOf(&panel, "IDC_RX_PORT"), QStringLiteral("8910"));
    QCOMPARE(textOf(&panel, "IDC_RX_TRAP_DEST"), QStringLiteral("127.0.0.1"));
    QCOMPARE(textOf(&panel, "IDC_RX_COMMUNITY"), QStringLiteral("meadow"));
    QCOMPARE(textOf(&panel, "IDC_RX_LOSS_THRESHOLD"), QStringLiteral("3"));
    QCOMPARE(textOf(&panel, "IDC_RX_MAX_LATENCY"), QStringLiteral("2"));
    QVERIFY(control<QCheckBox>(&panel, "IDC_RX_JOIN_CHECK")->isChecked());
    QCOMPARE(startCaption(panel), QStringLiteral("Start"));
    QVERIFY(!enabled(panel, "IDC_RX_JOIN"));
    QVERIFY(!enabled(panel, "IDC_RX_LEAVE"));
    QVERIFY(!control<CIconStatic>(&panel, "IDC_RX_ACTIVITY")->IsIconShown());
    const QStringList headings { "Source IP", "Src UDP", "Last RX Time", "Last Seq#", "Freq",
        "Cons. RX", "Cons. Miss", "Total RX", "Total Miss", "Dups" };
    QStringList shown;
    for (int c = 0; c < listOf(panel)->model()->columnCount(); ++c)
        shown << listOf(panel)->model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(shown, headings);
    QCOMPARE(panel.GetState(), STATE_STOPPED);
}

void tst_CAddRx::fieldLimits_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("group not an address") << QByteArray("IDC_RX_GROUP") << "not-an-address"
                                          << "Enter an IPv4 address such as 234.5.6.7.";
    QTest::newRow("group with spaces around it")
        << QByteArray("IDC_RX_GROUP") << " 234.5.6.7 " << QString();
    QTest::newRow("port 0") << QByteArray("IDC_RX_PORT") << "0"
                            << "Enter a whole number from 1 to 65535.";
    QTest::newRow("port 70000") << QByteArray("IDC_RX_PORT") << "70000"
                                << "Enter a whole number from 1 to 65535.";
    QTest::newRow("port 65535") << QByteArray("IDC_RX_PORT") << "65535" << QString();
    QTest::newRow("loss threshold 0") << QByteArray("IDC_RX_LOSS_THRESHOLD") << "0"
                                      << "Enter a whole number from 1 to 100.";
    QTest::newRow("loss threshold 100")
        << QByteArray("IDC_RX_LOSS_THRESHOLD") << "100" << QString();
    QTest::newRow("latency 121") << QByteArray("IDC_RX_MAX_LATENCY") << "121"
                                 << "Enter a whole number from 1 to 120.";
    QTest::newRow("latency 120") << QByteArray("IDC_RX_MAX_LATENCY") << "120" << QString();
    QTest::newRow("latency letters") << QByteArray("IDC_RX_MAX_LATENCY") << "two"
                                     << "Enter a whole number from 1 to 120.";
}

void tst_CAddRx::fieldLimits()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, text);
    QFETCH(QString, refusal);
    MessageBoxRecorder boxes;
    CAddRx panel;
    QVERIFY(showActive(&panel));
    typeInto(&panel, "IDC_RX_PORT", QStringLiteral("9301"));
    typeInto(&panel, field.constData(), text);
    clickButton(&panel, "IDC_RX_START");
    if (refusal.isEmpty()) {
        QVERIFY(boxes.boxes.isEmpty());
        QCOMPARE(panel.GetState(), STATE_RUNNING);
        return;
    }
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).text, refusal);
    QCOMPARE(panel.GetState(), STATE_STOPPED);
    QCOMPARE(startCaption(panel), QStringLiteral("Start"));
    QVERIFY(!enabled(panel, "IDC_RX_JOIN"));
    QVERIFY(!enabled(panel, "IDC_RX_LEAVE"));
    auto* refused = control<QLineEdit>(&panel, field.constData());
    QVERIFY(refused->hasFocus());
    QCOMPARE(refused->selectedText(), text);
}

void tst_CAddRx::states_data()
{
    QTest::addColumn<bool>("join");
    QTest::newRow("join box set") << true;
    QTest::newRow("join box clear") << false;
}

void tst_CAddRx::states()
{
    QFETCH(bool, join);
    MessageBoxRecorder boxes;
    CAddRx panel;
    panel.show();
    typeInto(&panel, "IDC_RX_PORT", QStringLiteral("9302"));
    control<QCheckBox>(&panel, "IDC_RX_JOIN_CHECK")->setChecked(join);
    clickButton(&panel, "IDC_RX_START");
    QCOMPARE(panel.GetState(), STATE_RUNNING);
    QCOMPARE(startCaption(panel), QStringLiteral("Stop"));
    QCOMPARE(enabled(panel, "IDC_RX_JOIN"), !join);
    QCOMPARE(enabled(panel, "IDC_RX_LEAVE"), join);

    clickButton(&panel, join ? "IDC_RX_LEAVE" : "IDC_RX_JOIN");
    QCOMPARE(enabled(panel, "IDC_RX_JOIN"), join);
    QCOMPARE(enabled(panel, "IDC_RX_LEAVE"), !join);

    // Settings stay editable while running; Stop shows the values in use again.
    typeInto(&panel, "IDC_RX_PORT", QStringLiteral("1234"));
    clickButton(&panel, "IDC_RX_START");
    QCOMPARE(panel.GetState(), STATE_STOPPED);
    QCOMPARE(startCaption(panel), QStringLiteral("Start"));
    QVERIFY(!enabled(panel, "IDC_RX_JOIN"));
    QVERIFY(!enabled(panel, "IDC_RX_LEAVE"));
    QCOMPARE(textOf(&panel, "IDC_RX_PORT"), QStringLiteral("9302"));
    clickButton(&panel, "IDC_RX_RESET");
    QCOMPARE(panel.GetState(), STATE_STOPPED);
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CAddRx::bindFailureThenRetry()
{
    auto taken = std::make_unique<UdpPeer>(9303, true);
    MessageBoxRecorder boxes;
    CAddRx panel;
    startOn(panel, 9303);
    QCOMPARE(boxes.boxes.size(), 2);
    QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("CRxSocket::Bind()"));
    QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("Address already in use"));
    QCOMPARE(boxes.boxes.at(1).text, QStringLiteral("Failed to Create receive socket"));
    QCOMPARE(boxes.boxes.at(1).caption, QStringLiteral("CAddRx::StartReceiver()"));
    QCOMPARE(boxes.boxes.at(1).icon, QMessageBox::Critical);
    QCOMPARE(boxes.boxes.at(1).owner.data(), &panel);
    QCOMPARE(panel.GetState(), STATE_STOPPED);
    QCOMPARE(startCaption(panel), QStringLiteral("Stop"));
    QVERIFY(!enabled(panel, "IDC_RX_JOIN"));
    QVERIFY(!enabled(panel, "IDC_RX_LEAVE"));

    taken.reset();
    clickButton(&panel, "IDC_RX_START");
    QCOMPARE(panel.GetState(), STATE_RUNNING);
    QCOMPARE(boxes.boxes.size(), 2);
}

void tst_CAddRx::rowsPerSource()
{
    MessageBoxRecorder boxes;
    CAddRx panel;
    startOn(panel, 9304);
    UdpPeer first, second;
    first.sendTo(probeBytes(7, 10), GROUP, 9304);
    QTRY_COMPARE(rowCount(panel), 1);
    second.sendTo(probeBytes(3, 2), GROUP, 9304);
    QTRY_COMPARE(rowCount(panel), 2);
    first.sendTo(probeBytes(8, 99), GROUP, 9304);
    QTRY_COMPARE(cell(panel, 0, 3), QStringLiteral("8"));

    const QStringList row0 = rowOf(panel, 0);
    QCOMPARE(row0.at(0), QStringLiteral("127.0.0.1"));
    QCOMPARE(row0.at(1), QString::number(first.port()));
    QVERIFY(QTime::fromString(row0.at(2), QStringLiteral("HH:mm:ss")).isValid());
    QCOMPARE(row0.mid(3), QStringList({ "8", "10", "0", "0", "0", "0", "0" }));
    QCOMPARE(rowOf(panel, 1).at(1), QString::number(second.port()));
    QCOMPARE(rowOf(panel, 1).mid(3), QStringList({ "3", "2", "0", "0", "0", "0", "0" }));
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CAddRx::foreignDatagramsMakeNoRow_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QByteArray badVersion = probeBytes(1), badType = probeBytes(1);
    badVersion[33] = 2;
    badType[34] = 9;
    QTest::newRow("42 bytes") << probeBytes(1).left(42);
    QTest::newRow("wrong version") << badVersion;
    QTest::newRow("bad type") << badType;
    QTest::newRow("foreign text") << QByteArray("hello, is anybody out there?");
}

void tst_CAddRx::foreignDatagramsMakeNoRow()
{
    QFETCH(QByteArray, datagram);
    MessageBoxRecorder boxes;
    CAddRx panel;
    startOn(panel, 9305);
    UdpPeer foreign, genuine;
    foreign.sendTo(datagram, GROUP, 9305);
    genuine.sendTo(probeBytes(1), GROUP, 9305);
    QTRY_COMPARE(rowCount(panel), 1);
    QTest::qWait(50);
    QCOMPARE(rowCount(panel), 1);
    QCOMPARE(cell(panel, 0, 1), QString::number(genuine.port()));
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CAddRx::unsignedColumnsAndDuplicates()
{
    CAddRx panel;
    startOn(panel, 9306);
    UdpPeer sender;
    sender.sendTo(probeBytes(3000000000u, 4000000000u), GROUP, 9306);
    sender.sendTo(probeBytes(3000000000u, 1), GROUP, 9306);
    sender.sendTo(probeBytes(3000000000u, 1), GROUP, 9306);
    QTRY_COMPARE(cell(panel, 0, 9), QStringLiteral("2"));
    QCOMPARE(cell(panel, 0, 3), QStringLiteral("3000000000"));
    QCOMPARE(cell(panel, 0, 4), QStringLiteral("4000000000"));
}

void tst_CAddRx::rowsSurviveStopAndStart()
{
    CAddRx panel;
    startOn(panel, 9307);
    UdpPeer sender;
    sender.sendTo(probeBytes(1), GROUP, 9307);
    QTRY_COMPARE(rowCount(panel), 1);
    clickButton(&panel, "IDC_RX_START");
    clickButton(&panel, "IDC_RX_START");
    QCOMPARE(rowCount(panel), 1);
    sender.sendTo(probeBytes(2), GROUP, 9307);
    QTRY_COMPARE(cell(panel, 0, 3), QStringLiteral("2"));
    // A sender that starts counting again shows duplicates.
    sender.sendTo(probeBytes(1), GROUP, 9307);
    QTRY_COMPARE(cell(panel, 0, 9), QStringLiteral("1"));
    QCOMPARE(rowCount(panel), 1);
}

void tst_CAddRx::joinAndLeaveUseGroupGivenAtStart()
{
    CAddRx panel;
    panel.show();
    typeInto(&panel, "IDC_RX_PORT", QStringLiteral("9308"));
    control<QCheckBox>(&panel, "IDC_RX_JOIN_CHECK")->setChecked(false);
    clickButton(&panel, "IDC_RX_START");
    typeInto(&panel, "IDC_RX_GROUP", QStringLiteral("239.1.1.1"));
    UdpPeer sender;
    sender.sendTo(probeBytes(1), GROUP, 9308);
    QTest::qWait(100);
    QCOMPARE(rowCount(panel), 0);

    clickButton(&panel, "IDC_RX_JOIN");
    sender.sendTo(probeBytes(2), GROUP, 9308);
    QTRY_COMPARE(rowCount(panel), 1);

    clickButton(&panel, "IDC_RX_LEAVE");
    sender.sendTo(probeBytes(3), GROUP, 9308);
    QTest::qWait(100);
    QCOMPARE(cell(panel, 0, 3), QStringLiteral("2"));
}

void tst_CAddRx::activityShownForOneTick()
{
    CAddRx panel;
    startOn(panel, 9309);
    auto* activity = control<CIconStatic>(&panel, "IDC_RX_ACTIVITY");
    UdpPeer sender;
    sender.sendTo(probeBytes(1), GROUP, 9309);
    QTRY_VERIFY(activity->IsIconShown());
    panel.OnPanelTick(2);
    QVERIFY(!activity->IsIconShown());
}

void tst_CAddRx::emptyDatagramShowsBoxAndMakesNoRow()
{
    MessageBoxRecorder boxes;
    CAddRx panel;
    startOn(panel, 9311);
    UdpPeer sender;
    QCOMPARE(sender.sendTo(QByteArray(), GROUP, 9311), 0);
    QTRY_COMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("Got return code of \"0\" from Receive() !"));
    QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("CRxSocket::OnReceive"));
    QCOMPARE(boxes.boxes.at(0).icon, QMessageBox::NoIcon);
    QCOMPARE(boxes.boxes.at(0).owner.data(), &panel);
    QTest::qWait(60);
    QCOMPARE(rowCount(panel), 0);
}

// A unicast address is a valid group text, but the system refuses to join it.
void tst_CAddRx::joinRefusedAtStartShowsSystemText()
{
    MessageBoxRecorder boxes;
    CAddRx panel;
    panel.show();
    typeInto(&panel, "IDC_RX_GROUP", QStringLiteral("10.0.0.1"));
    startOn(panel, 9312);
    QCOMPARE(panel.GetState(), STATE_RUNNING);
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("CRxSocket::setsockopt(IP_ADD_MEMBERSHIP)"));
    QCOMPARE(boxes.boxes.at(0).icon, QMessageBox::Information);
    QVERIFY(!boxes.boxes.at(0).owner);
    QVERIFY(!boxes.boxes.at(0).text.isEmpty());
    // The buttons follow the check box all the same.
    QVERIFY(enabled(panel, "IDC_RX_LEAVE"));
}

void tst_CAddRx::networkBoxesOneAtATimeForTheWholeProgram_data()
{
    QTest::addColumn<int>("receivers");
    QTest::addColumn<int>("burst");
    QTest::newRow("50 receivers, one empty datagram") << 50 << 1;
    QTest::newRow("200 receivers, a burst of 100") << 200 << 100;
}

// Anyone on the LAN can send empty datagrams; however many receivers hear them, the user
// sees one box at a time, and the receivers go on counting while it is open.
void tst_CAddRx::networkBoxesOneAtATimeForTheWholeProgram()
{
    QFETCH(int, receivers);
    QFETCH(int, burst);
    MessageBoxRecorder boxes;
    std::vector<std::unique_ptr<CAddRx>> panels;
    for (int i = 0; i < receivers; ++i) {
        panels.push_back(std::make_unique<CAddRx>());
        control<QLineEdit>(panels.back().get(), "IDC_RX_PORT")->setText(QStringLiteral("9313"));
        panels.back()->StartReceiver();
    }
    const auto allCounted = [&] {
        return std::all_of(
            panels.begin(), panels.end(), [](const auto& panel) { return rowCount(*panel) == 1; });
    };
    UdpPeer sender;
    boxes.setWhileOpen([&] {
        for (int i = 0; i < burst; ++i)
            sender.sendTo(QByteArray(), GROUP, 9313);
        sender.sendTo(probeBytes(1), GROUP, 9313);
        QTRY_VERIFY(allCounted());
    });
    sender.sendTo(QByteArray(), GROUP, 9313);
    QTRY_COMPARE(boxes.boxes.size(), 1);
    QTest::qWait(200);
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.deepest, 1);
    QVERIFY(allCounted());
}

void tst_CAddRx::copyRowsForAReport()
{
    CAddRx panel;
    QVERIFY(showActive(&panel));
    typeInto(&panel, "IDC_RX_PORT", QStringLiteral("9310"));
    clickButton(&panel, "IDC_RX_START");
    UdpPeer first, second;
    first.sendTo(probeBytes(4, 9), GROUP, 9310);
    QTRY_COMPARE(rowCount(panel), 1);
    second.sendTo(probeBytes(6, 2), GROUP, 9310);
    QTRY_COMPARE(rowCount(panel), 2);

    QTreeView* list = listOf(panel);
    list->setFocus();
    list->selectionModel()->select(list->model()->index(1, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::keySequence(list, QKeySequence::Copy);
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3); // the headings, the row and the final line break
    QCOMPARE(lines.at(0),
        QStringLiteral("Source IP\tSrc UDP\tLast RX Time\tLast Seq#\tFreq\tCons. RX\tCons. Miss\t"
                       "Total RX\tTotal Miss\tDups"));
    const QStringList copied = lines.at(1).split(QLatin1Char('\t'));
    QCOMPARE(copied.size(), 10);
    QCOMPARE(copied.at(1), QString::number(second.port()));
    QCOMPARE(copied.mid(3, 2), QStringList({ "6", "2" }));
}

void tst_CAddRx::resizeKeepsMarginsAndWeights_data()
{
    QTest::addColumn<QSize>("grow");
    QTest::newRow("wider and taller") << QSize(240, 180);
    QTest::newRow("wider") << QSize(97, 0);
    QTest::newRow("same") << QSize(0, 0);
}

void tst_CAddRx::resizeKeepsMarginsAndWeights()
{
    QFETCH(QSize, grow);
    CAddRx panel;
    panel.show();
    QTreeView* list = listOf(panel);
    const QRect before = list->geometry();
    const int right = panel.width() - before.x() - before.width();
    const int bottom = panel.height() - before.y() - before.height();
    QVERIFY(right > 0 && bottom > 0);

    panel.resize(panel.size() + grow);
    QTRY_COMPARE(list->geometry().topLeft(), before.topLeft());
    QCOMPARE(panel.width() - list->geometry().right() - 1, right);
    QCOMPARE(panel.height() - list->geometry().bottom() - 1, bottom);

    const int width = list->viewport()->width();
    const int weights[] = { 100, 50, 100, 50, 50, 50, 50, 50, 50, 50 };
    for (int c = 0; c < 10; ++c)
        QCOMPARE(list->header()->sectionSize(c), width * weights[c] / 600);
}

QTEST_MAIN(tst_CAddRx)
#include "tst_caddrx.moc"
