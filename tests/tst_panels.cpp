#include "core/ProbeBlock.h"
#include "core/SourceColumns.h"
#include "meshpanel/MatrixView.h"
#include "meshpanel/MeshPanel.h"
#include "monitor/MetricsText.h"
#include "net/SystemError.h"
#include "net/Tick.h"
#include "net/Ticker.h"
#include "receiver/ReceiverPanel.h"
#include "receiver/RecentDelegate.h"
#include "receiver/SourceModel.h"
#include "receiver/SourceView.h"
#include "transmitter/TransmitterPanel.h"

#include "WidgetSupport.h"

#include <QAccessible>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>
#include <QTreeWidget>
#include <QUdpSocket>

// The two panels as a user drives them, over real sockets in a private network namespace.
class tst_Panels : public QObject {
    Q_OBJECT

    HostContext m_host;

private slots:
    void initTestCase() { REQUIRE_ISOLATED_NETWORK(); }
    void init() { m_boxes = std::make_unique<MessageBoxRecorder>(); }
    void cleanup()
    {
        QVERIFY2(!m_boxes || std::exchange(m_boxes, {})->boxes.isEmpty(), "an unexpected box");
    }
    void fields_data();
    void fields();
    void transmitterLifeCycle();
    void transmitterStreamsItsRate();
    void receiverCountsEachSender();
    void receiverLeavesAndJoins();
    void receiverRowsOutliveARestartAndCopy();
    void receiverResetCountsAgain();
    void recentStrip_data();
    void recentStrip();
    void receiverPortTakenIsToldUntilFree();
    void receiverRefusedJoinAndLeaveAreTold();
    void transmitterSocketRefusedIsTold();
    void failedSendIsToldInThePanelOnce_data();
    void failedSendIsToldInThePanelOnce();
    void oneNetworkBoxAtATime();
    void meshMatrixReadsByShapeAndInWords();
    void meshPanelsHearEachOther();
    void layout();

private:
    static QString cell(ReceiverPanel& panel, int row, SourceColumn column)
    {
        return child<QTreeView>(&panel, "sourceList")
            ->model()
            ->index(row, int(column))
            .data()
            .toString();
    }
    // A running receiver of 234.5.6.8 on the port, joined.
    static void start(ReceiverPanel& panel, quint16 port)
    {
        panel.configure({ { QHostAddress(QStringLiteral("234.5.6.8")), port }, 0, true });
        QVERIFY(panel.start());
    }
    static int rows(ReceiverPanel& panel)
    {
        return child<QTreeView>(&panel, "sourceList")->model()->rowCount();
    }
    // The caption and the text of the nth box asked.
    QString box(int n) const
    {
        const MessageBoxRequest& asked = m_boxes->boxes.at(n);
        return asked.caption + ": " + asked.text;
    }
    static void send(QUdpSocket& from, const QByteArray& bytes, const char* to, quint16 port)
    {
        from.writeDatagram(bytes, QHostAddress(QLatin1String(to)), port);
    }

    std::unique_ptr<MessageBoxRecorder> m_boxes;
};

void tst_Panels::fields_data()
{
    QTest::addColumn<bool>("transmitter");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    const struct {
        bool transmitter;
        const char* field;
        const char* text;
        bool accepted;
    } rows[] = { { true, "groupEdit", " 234.5.6.7 ", true }, { true, "groupEdit", "10.1", false },
        { true, "periodEdit", "86400", true }, { true, "periodEdit", "86401", false },
        { true, "rateEdit", "1000000", true }, { true, "rateEdit", "1000001", false },
        { true, "packetSizeEdit", "42", false }, { true, "ttlEdit", "0", false },
        { true, "groupEdit", "ff15::1234", true }, { false, "sourceEdit", "10.0.0.1.1", false },
        { false, "portEdit", "0", false }, { false, "lossThresholdEdit", "101", false },
        { false, "maxLatencyEdit", "121", false } };
    for (const auto& row : rows)
        QTest::addRow("%s %s '%s'", row.transmitter ? "tx" : "rx", row.field, row.text)
            << row.transmitter << QByteArray(row.field) << QString::fromLatin1(row.text)
            << row.accepted;
}

// A field out of its range stops the start, says what it takes, and gets the focus with
// its text selected.
void tst_Panels::fields()
{
    QFETCH(bool, transmitter);
    QFETCH(QByteArray, field);
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    std::unique_ptr<QWidget> panel(transmitter ? static_cast<QWidget*>(new TransmitterPanel(m_host))
                                               : new ReceiverPanel(m_host));
    panel->show();
    QVERIFY(QTest::qWaitForWindowActive(panel.get()));
    auto* edit = child<QLineEdit>(panel.get(), field);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    click(panel.get(), "startButton"); // which takes the focus
    QCOMPARE(m_boxes->boxes.size(), accepted ? 0 : 1);
    QCOMPARE(QApplication::focusWidget() == edit, !accepted);
    QCOMPARE(edit->selectedText(), accepted ? QString() : text);
    QCOMPARE(child<QPushButton>(panel.get(), "startButton")->text(), accepted ? "Stop" : "Start");
    // The box names the field by its label, and a range the label gives is the field's.
    for (const QLabel* label : panel->findChildren<QLabel*>()) {
        const QString said = label->text().remove('&');
        if (label->buddy() != edit || accepted)
            continue;
        QVERIFY(m_boxes->boxes.at(0).text.startsWith(said.section(" (", 0, 0) + ": "));
        if (said.contains('-'))
            QVERIFY2(m_boxes->boxes.at(0).text.contains(
                         "from " + said.section('(', 1).chopped(1).replace('-', " to ")),
                qPrintable(said + " / " + m_boxes->boxes.at(0).text));
    }
    m_boxes->boxes.clear();
}

// Counts down on the second's tick only, holds while paused, and starts again from 1; Stop
// tells receivers with the stopping message, numbered as the next probe.
void tst_Panels::transmitterLifeCycle()
{
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress::LocalHost));
    TransmitterPanel panel(m_host);
    panel.configure({ { QHostAddress::LocalHost, peer.localPort() }, 2, 43 });
    const auto seconds = [&panel](int count) {
        for (int phase = 1; phase <= 4 * count; ++phase)
            panel.tick(phase % 4);
    };
    int from = 0;
    // type:sequence
    const auto nextProbe = [&] {
        [&] { QTRY_VERIFY(peer.hasPendingDatagrams()); }();
        const QNetworkDatagram datagram = peer.receiveDatagram();
        const auto probe
            = ProbePacket::parse(reinterpret_cast<const std::uint8_t*>(datagram.data().data()),
                std::size_t(datagram.data().size()));
        from = datagram.senderPort();
        return probe && datagram.data().size() == 43 && probe->period == 2
            ? QStringLiteral("%1:%2").arg(probe->type).arg(probe->sequence)
            : QString();
    };
    for (int round = 0; round < 2; ++round) {
        click(&panel, "startButton");
        const QPalette locked = child<QLineEdit>(&panel, "groupEdit")->palette();
        QVERIFY(child<QLineEdit>(&panel, "groupEdit")->isReadOnly());
        QCOMPARE(locked.base(), locked.window()); // and looks it
        QVERIFY(!child<QCheckBox>(&panel, "randomiseCheck")->isEnabled());
        seconds(2);
        QCOMPARE(nextProbe(), QStringLiteral("1:1"));
        QCOMPARE(child<QLineEdit>(&panel, "sourcePortEdit")->text().toInt(), from);
        click(&panel, "pauseButton");
        seconds(4);
        click(&panel, "pauseButton");
        seconds(2);
        QCOMPARE(nextProbe(), QStringLiteral("1:2")); // nothing was sent while paused
        QCOMPARE(child<QLineEdit>(&panel, "lastSequenceEdit")->text(), QStringLiteral("2"));
        click(&panel, "startButton");
        QCOMPARE(nextProbe(), QStringLiteral("2:3"));
        QVERIFY(!child<QLineEdit>(&panel, "groupEdit")->isReadOnly());
    }
}

// A rate instead of a period: probes that carry their timing, every number once, the status
// line a second, and the stopping message numbered last.
void tst_Panels::transmitterStreamsItsRate()
{
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress::LocalHost));
    TransmitterPanel panel(m_host);
    panel.configure({ { QHostAddress::LocalHost, peer.localPort() }, 1, 80 });
    child<QLineEdit>(&panel, "rateEdit")->setText(QStringLiteral("2000"));
    QVERIFY(!child<QLineEdit>(&panel, "periodEdit")->isEnabled());
    QVERIFY(!panel.start()); // too small for the timing
    QCOMPARE(m_boxes->boxes.size(), 1);
    m_boxes->boxes.clear();
    child<QLineEdit>(&panel, "packetSizeEdit")->setText(QStringLiteral("81"));
    QVERIFY(panel.start());
    QTRY_VERIFY(panel.sender().sentCount() >= 100);
    panel.tick(0);
    QVERIFY(child<QLabel>(&panel, "statusLabel")->text().contains(" probes/s, "));
    panel.stop(ProbeSender::Stopping::Announced);
    const quint32 last = child<QLineEdit>(&panel, "lastSequenceEdit")->text().toUInt();
    for (quint32 expected = 1; expected <= last; ++expected) {
        [&] { QTRY_VERIFY(peer.hasPendingDatagrams()); }();
        const QByteArray bytes = peer.receiveDatagram().data();
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        const auto probe = ProbePacket::parse(data, std::size_t(bytes.size()));
        QVERIFY(probe);
        QCOMPARE(probe->sequence, expected);
        QCOMPARE(
            probe->type, expected == last ? ProbePacket::TypeStopping : ProbePacket::TypeProbe);
        QCOMPARE(ProbeBlock::read(data, std::size_t(bytes.size())).entries.size(), std::size_t(2));
    }
}

// One row per sender, told apart by port, numbers unsigned as sent, and duplicates counted.
void tst_Panels::receiverCountsEachSender()
{
    ReceiverPanel panel(m_host);
    start(panel, 9110);
    QUdpSocket group, unicast;
    send(group, probeBytes(3000000000u, 86400), "234.5.6.8", 9110);
    send(group, probeBytes(3000000000u, 86400), "234.5.6.8", 9110);
    send(unicast, probeBytes(1), "127.0.0.1", 9110);
    QTRY_COMPARE(rows(panel), 2);
    QTRY_COMPARE(cell(panel, 0, SourceColumn::Duplicates), QStringLiteral("1"));
    QCOMPARE(cell(panel, 0, SourceColumn::LastSequence), QStringLiteral("3000000000"));
    QCOMPARE(cell(panel, 0, SourceColumn::Period), QStringLiteral("86400"));
    QCOMPARE(cell(panel, 1, SourceColumn::SourcePort), QString::number(unicast.localPort()));
}

// A leave stops the group's probes, and a join brings them back.
void tst_Panels::receiverLeavesAndJoins()
{
    ReceiverPanel panel(m_host);
    start(panel, 9111);
    QSignalSpy events(&panel, &ReceiverPanel::eventOccurred);
    QUdpSocket group, marker;
    click(&panel, "leaveButton");
    QVERIFY(!child(&panel, "leaveButton")->isEnabled());
    send(group, probeBytes(1), "234.5.6.8", 9111);
    send(marker, probeBytes(1), "127.0.0.1", 9111);
    QTRY_COMPARE(rows(panel), 1);
    QCOMPARE(cell(panel, 0, SourceColumn::SourcePort), QString::number(marker.localPort()));
    click(&panel, "joinButton");
    send(group, probeBytes(2), "234.5.6.8", 9111);
    QTRY_COMPARE(rows(panel), 2);
    QCOMPARE(events.at(0).at(0).value<Event>().kind, Event::Leave);
    QCOMPARE(events.at(2).at(0).value<Event>().kind, Event::Join);
}

// Stopped and started again without the join, the receiver keeps its rows; Ctrl+C copies
// them with their headings.
void tst_Panels::receiverRowsOutliveARestartAndCopy()
{
    ReceiverPanel panel(m_host);
    start(panel, 9112);
    QUdpSocket sender;
    send(sender, probeBytes(1), "234.5.6.8", 9112);
    QTRY_COMPARE(rows(panel), 1);
    panel.stop();
    child<QCheckBox>(&panel, "joinCheck")->setChecked(false);
    QVERIFY(panel.start());
    QVERIFY(child(&panel, "joinButton")->isEnabled() && !child(&panel, "leaveButton")->isEnabled());
    auto* list = child<SourceView>(&panel, "sourceList");
    list->selectAll();
    const QStringList lines = list->selectedRowsText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0).count('\t'), lines.at(1).count('\t'));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("127.0.0.1\t%1\t").arg(sender.localPort())));
}

// Reset forgets every row, and a sender's next probe starts a fresh one with nothing missed.
void tst_Panels::receiverResetCountsAgain()
{
    ReceiverPanel panel(m_host);
    start(panel, 9113);
    QUdpSocket sender;
    send(sender, probeBytes(2), "127.0.0.1", 9113);
    QTRY_COMPARE(rows(panel), 1);
    QSignalSpy events(&panel, &ReceiverPanel::eventOccurred);
    click(&panel, "resetButton");
    QCOMPARE(rows(panel), 0);
    QCOMPARE(events.takeLast().at(0).value<Event>().kind, Event::Reset);
    send(sender, probeBytes(4), "127.0.0.1", 9113); // 3 never came: not missed in a fresh row
    QTRY_COMPARE(rows(panel), 1);
    QCOMPARE(cell(panel, 0, SourceColumn::TotalReceived), QStringLiteral("1"));
    QCOMPARE(cell(panel, 0, SourceColumn::TotalMissed), QStringLiteral("0"));
}

void tst_Panels::recentStrip_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::addColumn<bool>("selected");
    QPalette dark(QColor(0x30, 0x30, 0x30), QColor(0x24, 0x24, 0x24));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    QTest::newRow("light") << QApplication::palette() << false;
    QTest::newRow("dark") << dark << false;
    QTest::newRow("selected") << QApplication::palette() << true;
}

// The Recent column's strip, painted from what arrived, read back from the picture by shape
// alone, as eyes that do not tell the colours apart read it; each mark stands out of its
// cell in light and dark palettes.
void tst_Panels::recentStrip()
{
    QFETCH(QPalette, palette);
    QFETCH(bool, selected);
    // received, - missing, late, duplicate: the 60 numbers from 1.
    const QString marks
        = QStringLiteral("rr-rlrdr--rrrlrrdrrr-rrrrrlrrrrrrdrrrr-rrrrrrrrlrrrdrrrr--rr");
    SourceTable table;
    const auto arrive = [&table](quint32 sequence) {
        const QByteArray bytes = probeBytes(sequence, 1);
        table.countProbe(reinterpret_cast<const std::uint8_t*>(bytes.data()),
            std::size_t(bytes.size()), "10.0.0.1", 5000, 0, 1000 * sequence);
    };
    for (quint32 sequence = 1; sequence <= quint32(marks.size()); ++sequence) {
        const QChar mark = marks.at(sequence - 1);
        if (mark != 'l' && mark != '-')
            arrive(sequence);
        if (mark == 'd')
            arrive(sequence);
        if (sequence > 1 && marks.at(sequence - 2) == 'l')
            arrive(sequence - 1);
    }
    SourceModel model(table);
    model.sourceChanged(0);
    QTRY_COMPARE(model.rowCount(), 1);
    const QModelIndex cell = model.index(0, SourceModel::RecentColumn);
    QCOMPARE(cell.data(Qt::ToolTipRole).toString(),
        QStringLiteral("last 60: 45 received, 7 missing, 4 late, 4 duplicates"));

    SourceView view;
    view.setModel(&model);
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.palette = palette;
    option.rect = QRect(0, 0, RecentDelegate::stripWidth(), 22);
    option.state = QStyle::State_Enabled | (selected ? QStyle::State_Selected : QStyle::State_None);
    QImage picture(option.rect.size(), QImage::Format_RGB32);
    const QColor behind = palette.color(selected ? QPalette::Highlight : QPalette::Base);
    picture.fill(behind);
    {
        QPainter painter(&picture);
        view.itemDelegateForColumn(SourceModel::RecentColumn)->paint(&painter, option, cell);
    }
    const auto luminance = [](QColor colour) {
        const auto linear = [](double c) {
            return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF())
            + 0.0722 * linear(colour.blueF());
    };
    // Each mark is a run of painted columns; it is read by where down the cell it is painted.
    QString read;
    const int top = 4, middle = option.rect.height() / 2, bottom = option.rect.height() - 4;
    const auto painted = [&](int x, int y) { return QColor(picture.pixel(x, y)) != behind; };
    const auto any
        = [&](int x) { return painted(x, top) || painted(x, middle) || painted(x, bottom); };
    for (int x = 1; x < picture.width(); ++x) {
        if (!any(x) || any(x - 1))
            continue;
        read += !painted(x, bottom) ? 'l' : !painted(x, top) ? '-' : painted(x, middle) ? 'r' : 'd';
        const QColor colour = picture.pixel(x, painted(x, bottom) ? bottom : top);
        const double lighter = std::max(luminance(colour), luminance(behind));
        const double darker = std::min(luminance(colour), luminance(behind));
        QVERIFY2((lighter + 0.05) / (darker + 0.05) >= 3.0, qPrintable(QString::number(x)));
    }
    QCOMPARE(read, marks);
}

// A port taken is told with the system's text, and pressing the button again retries.
void tst_Panels::receiverPortTakenIsToldUntilFree()
{
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 9120, QAbstractSocket::DontShareAddress));
    ReceiverPanel receiver(m_host);
    receiver.configure({ { QHostAddress(QStringLiteral("234.5.6.7")), 9120 }, 0, true });
    click(&receiver, "startButton");
    QCOMPARE(m_boxes->boxes.size(), 2);
    QCOMPARE(box(0), "CRxSocket::Bind(): " + systemErrorText(EADDRINUSE));
    QCOMPARE(box(1), QStringLiteral("CAddRx::StartReceiver(): Failed to Create receive socket"));
    m_boxes->boxes.clear();
    holder.close();
    click(&receiver, "startButton");
    QVERIFY(receiver.isRunning());
}

// A unicast group keeps it listening, though the join was refused; a refused leave is told too.
void tst_Panels::receiverRefusedJoinAndLeaveAreTold()
{
    ReceiverPanel unicast(m_host);
    unicast.configure({ { QHostAddress::LocalHost, 9121 }, 0, true });
    QVERIFY(unicast.start());
    click(&unicast, "leaveButton");
    QCOMPARE(m_boxes->boxes.size(), 2);
    QCOMPARE(box(0), "CRxSocket::setsockopt(IP_ADD_MEMBERSHIP): " + systemErrorText(EINVAL));
    QCOMPARE(
        box(1), "CRxSocket::setsockopt(IP_DROP_MEMBERSHIP): " + systemErrorText(EADDRNOTAVAIL));
    m_boxes->boxes.clear();
}

void tst_Panels::transmitterSocketRefusedIsTold()
{
    TransmitterPanel transmitter(m_host);
    withoutFiles([&] { click(&transmitter, "startButton"); });
    QCOMPARE(m_boxes->boxes.size(), 1);
    QCOMPARE(
        box(0), QStringLiteral("CAddTx::StartTransmitter(): Failed to Create transmit socket"));
    QCOMPARE(child<QPushButton>(&transmitter, "startButton")->text(), QStringLiteral("Stop"));
    m_boxes->boxes.clear();
}

// In the panel, never in a box, once in the log; and the number is used up.
void tst_Panels::failedSendIsToldInThePanelOnce_data()
{
    QTest::addColumn<quint32>("rate");
    QTest::newRow("a probe a second") << 0u;
    QTest::newRow("a stream") << 1000u; // its sends fail on its thread, told on the tick
}

void tst_Panels::failedSendIsToldInThePanelOnce()
{
    QFETCH(quint32, rate);
    TransmitterPanel transmitter(m_host);
    SendSettings settings { { QHostAddress(QStringLiteral("10.1.2.3")), 9 }, 1 }; // no route
    settings.rate = rate;
    transmitter.configure(settings);
    QVERIFY(transmitter.start());
    QSignalSpy events(&transmitter, &TransmitterPanel::eventOccurred);
    for (int second = 0; second < 2; ++second) {
        QTRY_VERIFY(!rate || transmitter.sender().failureCount() > 2 * quint64(second));
        transmitter.tick(0);
    }
    QCOMPARE(child<QLabel>(&transmitter, "statusLabel")->text(),
        "Send failed: " + systemErrorText(ENETUNREACH));
    QCOMPARE(events.size(), 1);
    QCOMPARE(events.at(0).at(0).value<Event>().kind, Event::SendFailed);
    transmitter.stop(ProbeSender::Stopping::Silent);
    // Every number used up, none sent.
    QCOMPARE(child<QLineEdit>(&transmitter, "lastSequenceEdit")->text().toULongLong(),
        rate ? transmitter.sender().failureCount() : 2);
    QCOMPARE(transmitter.sender().sentCount(), quint64(0));
}

// Anyone on the LAN can send empty datagrams at will: the whole program shows one real box
// for them at a time, not modal, and every receiver goes on counting while it is up; the
// log counts them, told at the first and then once a minute.
void tst_Panels::oneNetworkBoxAtATime()
{
    m_boxes.reset(); // the boxes on screen, not answered by the test
    const auto shown = [] {
        QList<QMessageBox*> boxes;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible())
                boxes << box;
        }
        return boxes;
    };
    std::vector<std::unique_ptr<ReceiverPanel>> panels;
    QUdpSocket sender;
    for (quint16 port = 9200; port < 9250; ++port) {
        panels.push_back(std::make_unique<ReceiverPanel>(m_host));
        panels.back()->configure({ { QHostAddress(QStringLiteral("234.5.6.7")), port }, 0, false });
        QVERIFY(panels.back()->start());
        send(sender, QByteArray(), "127.0.0.1", port);
    }
    QTRY_COMPARE(shown().size(), 1);
    QVERIFY(!QApplication::activeModalWidget());
    for (quint16 port = 9200; port < 9250; ++port)
        send(sender, probeBytes(1), "127.0.0.1", port);
    for (auto& panel : panels)
        QTRY_COMPARE(rows(*panel), 1);
    QCOMPARE(shown().size(), 1);
    QSignalSpy told(panels.front().get(), &ReceiverPanel::eventOccurred);
    send(sender, QByteArray(), "127.0.0.1", 9200);
    shown().constFirst()->close();
    QTRY_COMPARE(shown().size(), 0);
    send(sender, QByteArray(), "127.0.0.1", 9200); // the next one opens a box again
    QTRY_COMPARE(shown().size(), 1);
    for (int second = 0; second < 2; ++second)
        panels.front()->tick(0);
    QCOMPARE(told.size(), 1);
    QVERIFY(told.at(0).at(0).value<Event>().detail.startsWith("3 empty datagrams"));
    shown().constFirst()->close();
}

// At 100 % and, run again with QT_SCALE_FACTOR=2, at 200 %: nothing cut off or overlapping,
// list headings wrapped whole, and Tab walks the fields in reading order, each named for
// screen readers.
void tst_Panels::layout()
{
    TransmitterPanel transmitter(m_host);
    ReceiverPanel receiver(m_host);
    for (QWidget* panel :
        { static_cast<QWidget*>(&transmitter), static_cast<QWidget*>(&receiver) }) {
        panel->show();
        QVERIFY(QTest::qWaitForWindowActive(panel));
        QList<QWidget*> shown = panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        shown.removeIf([](QWidget* widget) { return widget->isHidden(); });
        for (QWidget* widget : shown) {
            QVERIFY2(widget->width() >= widget->minimumSizeHint().width(),
                qPrintable(widget->objectName()));
            for (QWidget* other : shown)
                QVERIFY2(widget == other || !widget->geometry().intersects(other->geometry()),
                    qPrintable(widget->objectName() + '/' + other->objectName()));
        }
        QSet<QWidget*> visited;
        for (QWidget* stop = child(panel, "groupEdit"); !visited.contains(stop);) {
            visited << stop;
            QVERIFY2(!QAccessible::queryAccessibleInterface(stop)->text(QAccessible::Name).isEmpty()
                    || qobject_cast<QTreeView*>(stop),
                stop->objectName().toLatin1());
            QTest::keyClick(stop, Qt::Key_Tab);
            QWidget* next = QApplication::focusWidget();
            const QRect from = stop->geometry(), to = next->geometry();
            const bool sameRow = qAbs(to.center().y() - from.center().y()) < from.height() / 2;
            QVERIFY2(visited.contains(next) || (sameRow ? to.x() > from.x() : to.y() > from.y()),
                qPrintable(stop->objectName() + " -> " + next->objectName()));
            stop = next;
        }
        QVERIFY(visited.size() >= 7);
    }
    QHeaderView* header = child<QTreeView>(&receiver, "sourceList")->header();
    const int margins = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin);
    for (int column = 0; column < header->count(); ++column) {
        const QString heading = header->model()->headerData(column, Qt::Horizontal).toString();
        const QRect needed = header->fontMetrics().boundingRect(
            0, 0, header->sectionSize(column) - margins, 1000, Qt::TextWordWrap, heading);
        QVERIFY2(needed.height() + margins <= header->height(), qPrintable(heading));
    }
}

// A known matrix painted and read back by shape (OK fills its cell, lost is a stub at its
// foot, stopped its upper half, never heard nothing), and in words: tooltips, a selection
// copied, the focused cell moved by the keyboard.
void tst_Panels::meshMatrixReadsByShapeAndInWords()
{
    MeshMatrix matrix;
    for (const char* name : { "c", "a", "b" }) { // shown by name: a, b, c
        MemberReport report;
        report.name = name;
        report.ttl = 16;
        matrix.heard(matrix.member(std::uint64_t(name[0])), report, name, 5000, 1000, 0);
    }
    const std::size_t a = matrix.find('a'), b = matrix.find('b');
    matrix.applyPage(a,
        { { 'b', PairState::Ok, 60, 0, 60, 0, 14 }, { 'c', PairState::Lost, 50, 10, 50, 10, 0 } },
        1000);
    matrix.applyPage(b, { { 'a', PairState::Stopped, 60, 0, 60, 0, 0 } }, 1000);
    MatrixView view;
    view.resize(300, 300);
    view.setCellSize(24);
    view.setMatrix(&matrix, [] { return std::int64_t(4000); });
    const QImage image = view.viewport()->grab().toImage();
    const QColor base = view.palette().color(QPalette::Base);
    QStringList shapes;
    for (int row = 0; row < 3; ++row) {
        QString line;
        for (int column = 0; column < 3; ++column) {
            const QRect cell = view.cellRect(row, column);
            const bool top = image.pixelColor(cell.center().x(), cell.top() + 2) != base;
            const bool foot = image.pixelColor(cell.center().x(), cell.bottom() - 3) != base;
            line += row == column ? '-' : top && foot ? 'O' : foot ? 'X' : top ? 'S' : '.';
        }
        shapes << line;
    }
    QCOMPARE(shapes, QStringList({ "-OX", "S-.", "..-" }));
    // A report that only repeats what is shown changes nothing to paint; a state does.
    const std::uint64_t shown = matrix.generation();
    matrix.applyPage(b, { { 'a', PairState::Stopped, 59, 1, 60, 1, 0 } }, 2000);
    QCOMPARE(matrix.generation(), shown);
    matrix.applyPage(b, { { 'a', PairState::Lost, 59, 1, 60, 1, 0 } }, 2000);
    QVERIFY(matrix.generation() > shown);
    matrix.applyPage(b, { { 'a', PairState::Stopped, 60, 0, 60, 0, 0 } }, 1000);
    QCOMPARE(view.cellText(0, 1), "a hears b: OK, 0 of 60 missing, 2 hops, report 3 s old");
    QCOMPARE(view.cellText(0, 2), "a hears c: lost, 10 of 60 missing, report 3 s old");
    QCOMPARE(view.cellText(2, 0), "c hears a: never heard");

    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, view.cellRect(0, 1).center());
    QMouseEvent drag(QEvent::MouseMove, view.cellRect(1, 2).center(),
        view.viewport()->mapToGlobal(view.cellRect(1, 2).center()), Qt::NoButton, Qt::LeftButton,
        Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &drag);
    QCOMPARE(view.selectionText(), "\tb\tc\na\tOK\tlost\nb\t-\tnever heard\n");
    QSignalSpy focused(&view, &MatrixView::focusedCellChanged);
    QTest::keyClick(&view, Qt::Key_Down);
    QCOMPARE(focused.value(0).value(0).toString(), "b"); // the diagonal: its name
    QTest::keyClick(&view, Qt::Key_Left);
    QCOMPARE(view.accessibleDescription(), "b hears a: stopped, 0 of 60 missing, report 3 s old");
}

// Two mesh panels on one host: each hears the other, and its matrix and triage say so.
void tst_Panels::meshPanelsHearEachOther()
{
    std::vector<std::unique_ptr<MeshPanel>> panels;
    for (const char* name : { "east", "west" }) {
        panels.push_back(std::make_unique<MeshPanel>(m_host));
        child<QLineEdit>(panels.back().get(), "nameEdit")->setText(name);
        child<QLineEdit>(panels.back().get(), "groupEdit")->setText("234.5.9.30");
        QVERIFY(panels.back()->start());
    }
    Ticker ticker(Tick::secondPhase);
    connect(&ticker, &Ticker::ticked, this, [&panels](int phase) {
        for (auto& panel : panels)
            panel->tick(phase);
    });
    ticker.start();
    auto* view = child<MatrixView>(panels[0].get(), "matrixView");
    QTRY_COMPARE_WITH_TIMEOUT(
        view->cellText(0, 1).section(',', 0, 0), "east hears west: OK", 10000);
    QTRY_COMPARE_WITH_TIMEOUT(
        view->cellText(1, 0).section(',', 0, 0), "west hears east: OK", 10000);
    const auto* triage = child<QTreeWidget>(panels[0].get(), "triageTree");
    QCOMPARE(triage->topLevelItem(0)->text(0), "Hear no one (0)");
    // Two meshes of one group in one scrape: each family once, each mesh told apart.
    MetricsText metrics;
    for (const auto& panel : panels)
        panel->collectMetrics(metrics);
    const QByteArray text = metrics.text();
    QCOMPARE(text.count("# TYPE lumivox_mesh_members gauge"), 1);
    QVERIFY(text.contains("lumivox_mesh_members{mesh=\"234.5.9.30:8950 #2\"} 2"));
    panels[1]->stop();
    QTRY_COMPARE_WITH_TIMEOUT(
        view->cellText(0, 1).section(',', 0, 0), "east hears west: stopped", 10000);
}

QTEST_MAIN(tst_Panels)
#include "tst_panels.moc"
