#include "commandline/CommandLine.h"
#include "core/SourceColumns.h"
#include "meshpanel/MeshPanel.h"
#include "receiver/ReceiverPanel.h"
#include "shell/MainWindow.h"
#include "transmitter/TransmitterPanel.h"

#include "WidgetSupport.h"

#include "widgets/InterfaceBox.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QNetworkAccessManager>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUdpSocket>

// The main window with its panels: the command line, ticks, closing and start-up.
class tst_MainWindow : public QObject {
    Q_OBJECT

    HostContext m_host;

private slots:
    void initTestCase() { REQUIRE_ISOLATED_NETWORK(); }
    void commandLineOpensRunningPanels();
    void commandLineFillsEveryPanel();
    void closing_data();
    void closing();
    void closingReceiverUnderItsBox();
    void lostSourceStandsOutInItsRow();
    void logSavesAsCsv();
    void logFilterFindsAnEvent();
    void metricsAndTestTrap();

private:
    static void trigger(MainWindow& window, const char* action)
    {
        child<QAction>(&window, action)->trigger();
        QCoreApplication::processEvents();
    }
    // A receiver on the port that has heard one probe of a one-second period, and takes it
    // for lost a second after it was due.
    static ReceiverPanel* heardOnce(MainWindow& window, quint16 port)
    {
        ReceiverPanel* panel = window.addReceiver();
        panel->configure({ { QHostAddress::LocalHost, port }, 0, false });
        child<QLineEdit>(panel, "lossThresholdEdit")->setText(QStringLiteral("1"));
        child<QLineEdit>(panel, "maxLatencyEdit")->setText(QStringLiteral("1"));
        if (panel->start())
            QUdpSocket().writeDatagram(probeBytes(1, 1), QHostAddress::LocalHost, port);
        return panel;
    }
    // The log's model as the view shows it, and a cell of its last row.
    static QAbstractItemModel* openLog(MainWindow& window)
    {
        trigger(window, "logAct");
        return child<QTreeView>(&window, "logView")->model();
    }
    static QString last(QAbstractItemModel* log, int column)
    {
        return log->index(log->rowCount() - 1, column).data().toString();
    }
};

// The command line's panels run, and the tick drives them: the transmitter's probes reach
// the receiver's list.
void tst_MainWindow::commandLineOpensRunningPanels()
{
    CommandLine commandLine;
    QCOMPARE(commandLine.parse(QStringLiteral("lumivox-tool --transmit 234.5.6.7:9300 --period 1 "
                                              "--receive 234.5.6.7:9300 --receive 234.5.6.7:9300 "
                                              "--mesh 234.5.6.8:9302 --name here")
                                   .split(' ')),
        CommandLine::Outcome::Run);
    MainWindow window(m_host);
    window.openPanels(commandLine.options());
    QCOMPARE(window.findChild<TransmitterPanel*>()->state(), TransmitterPanel::State::Running);
    QTRY_COMPARE(
        child<QTreeView>(window.findChild<ReceiverPanel*>(), "sourceList")->model()->rowCount(), 1);
    // Started panels are named by what they watch.
    QStringList titles;
    for (const QMdiSubWindow* child : window.findChild<QMdiArea*>()->subWindowList())
        titles << child->windowTitle();
    QCOMPARE(titles,
        QStringList({ "Transmitter 234.5.6.7:9300", "Receiver 234.5.6.7:9300",
            "Receiver 234.5.6.7:9300 #2", "Mesh 234.5.6.8:9302" }));
    QCOMPARE(window.findChild<MeshPanel*>()->member().settings().name, "here");
}

// Every option that applies to a panel fills it, as a headless run takes it.
void tst_MainWindow::commandLineFillsEveryPanel()
{
    CommandLine commandLine;
    QCOMPARE(commandLine.parse(QStringLiteral(
                 "lumivox-tool --transmit 234.5.6.7:9350 --ttl 9 --rate 30 --size 97 --receive "
                 "234.5.6.7:9351 --loss-threshold 5 --max-latency 10 --snmp-trap 127.0.0.1:1162 "
                 "--snmp-community tiger --no-join --max-sources 7 --interface lo")
                                   .split(' ')),
        CommandLine::Outcome::Run);
    MainWindow window(m_host);
    window.openPanels(commandLine.options());
    const auto fields = [](QWidget* panel, QList<const char*> names) {
        QStringList texts;
        for (const char* name : names)
            texts << child<QLineEdit>(panel, name)->text();
        texts << QString::number(child<InterfaceBox>(panel, "interfaceCombo")->interfaceIndex());
        return texts.join(' ');
    };
    const QString lo = QString::number(QNetworkInterface::interfaceIndexFromName("lo"));
    QCOMPARE(
        fields(window.findChild<TransmitterPanel*>(), { "ttlEdit", "rateEdit", "packetSizeEdit" }),
        "9 30 97 " + lo);
    auto* receiver = window.findChild<ReceiverPanel*>();
    QCOMPARE(fields(receiver,
                 { "lossThresholdEdit", "maxLatencyEdit", "trapDestinationEdit", "communityEdit" }),
        "5 10 127.0.0.1:1162 tiger " + lo);
    QVERIFY(!child<QCheckBox>(receiver, "joinCheck")->isChecked());
    QCOMPARE(receiver->receiver().settings().maxSources, 7u);
}

void tst_MainWindow::closing_data()
{
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<QString>("answers"); // to the transmitters' questions, oldest first
    QTest::addColumn<QString>("stopping"); // the transmitters whose stopping message came
    QTest::addColumn<QString>("running"); // the transmitters that still run
    QTest::newRow("Close, Yes") << QByteArray("closeAct") << "Yes"
                                << "2"
                                << "1";
    QTest::newRow("Close, No") << QByteArray("closeAct") << "No"
                               << ""
                               << "1";
    QTest::newRow("Close, Cancel") << QByteArray("closeAct") << "Cancel"
                                   << ""
                                   << "12";
    QTest::newRow("Exit, Yes and No") << QByteArray("exitAct") << "Yes No"
                                      << "1"
                                      << "";
    QTest::newRow("Exit, Yes and Cancel") << QByteArray("exitAct") << "Yes Cancel"
                                          << ""
                                          << "12";
}

// A running transmitter asks before its window closes, and File > Exit asks each in turn
// before anything stops: Yes sends the stopping message, No stops without it, and Cancel
// keeps every panel as it was.
void tst_MainWindow::closing()
{
    QFETCH(QByteArray, action);
    QFETCH(QString, answers);
    QList<QMessageBox::StandardButton> buttons;
    for (const QString& answer : answers.split(' '))
        buttons << (answer == "Yes" ? QMessageBox::Yes
                : answer == "No"    ? QMessageBox::No
                                    : QMessageBox::Cancel);
    MessageBoxRecorder boxes(buttons);
    auto window = std::make_unique<MainWindow>(m_host);
    window->show();
    QUdpSocket peers[2];
    QPointer<TransmitterPanel> transmitters[2];
    for (int i = 0; i < 2; ++i) {
        QVERIFY(peers[i].bind(QHostAddress::LocalHost));
        transmitters[i] = window->addTransmitter();
        transmitters[i]->configure({ { QHostAddress::LocalHost, peers[i].localPort() }, 1, 43 });
        QVERIFY(transmitters[i]->start());
    }
    trigger(*window, action.constData()); // on the newest, the active one
    QTRY_COMPARE(boxes.boxes.size(), buttons.size());
    QVERIFY(boxes.boxes.last().caption.endsWith(transmitters[1]->name()));
    QString stopping, running;
    for (int i = 0; i < 2; ++i) {
        QUdpSocket().writeDatagram("marker", QHostAddress::LocalHost, peers[i].localPort());
        for (QByteArray datagram; datagram != "marker";) {
            [&] { QTRY_VERIFY(peers[i].hasPendingDatagrams()); }();
            datagram = peers[i].receiveDatagram().data();
            const auto probe
                = ProbePacket::parse(reinterpret_cast<const std::uint8_t*>(datagram.data()),
                    std::size_t(datagram.size()));
            if (probe && probe->type == ProbePacket::TypeStopping)
                stopping += QString::number(i + 1);
        }
        if (transmitters[i] && transmitters[i]->isRunning())
            running += QString::number(i + 1);
    }
    QTEST(stopping, "stopping");
    QTEST(running, "running");
    QCOMPARE(window->isVisible(), action == "closeAct" || answers.endsWith("Cancel"));
}

// Closing a receiver, then the whole window, while its box is up: the box goes with it.
void tst_MainWindow::closingReceiverUnderItsBox()
{
    auto window = std::make_unique<MainWindow>(m_host);
    QPointer<ReceiverPanel> panel = window->addReceiver();
    panel->configure({ { QHostAddress(QStringLiteral("234.5.6.7")), 9310 }, 0, false });
    QVERIFY(panel->start());
    QUdpSocket().writeDatagram(QByteArray(), QHostAddress::LocalHost, 9310);
    QPointer<QMessageBox> box;
    QTRY_VERIFY((box = panel->findChild<QMessageBox*>()) && box->isVisible());
    trigger(*window, "closeAct");
    QTRY_VERIFY(!panel);
    QVERIFY(!box);
    window.reset();
}

void tst_MainWindow::lostSourceStandsOutInItsRow()
{
    MainWindow window(m_host);
    QAbstractItemModel* rows = child<QTreeView>(heardOnce(window, 9320), "sourceList")->model();
    QTRY_COMPARE(
        rows->index(0, int(SourceColumn::State)).data().toString(), QStringLiteral("Lost"));
    QVERIFY(rows->index(0, 0).data(Qt::BackgroundRole).isValid());
}

// Every line the log holds by then, under a header; a name typed without .csv gets it.
void tst_MainWindow::logSavesAsCsv()
{
    MainWindow window(m_host);
    heardOnce(window, 9322);
    QAbstractItemModel* log = openLog(window);
    QTRY_COMPARE(last(log, 3), QStringLiteral("new"));
    QTemporaryDir folder;
    QTimer::singleShot(0, [&folder] { // in the real dialog
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        dialog->selectFile(folder.filePath(QStringLiteral("log")));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    trigger(window, "saveAct");
    QFile saved(folder.filePath(QStringLiteral("log.csv")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll().count('\n'), log->rowCount() + 1);
}

// The lost source is in the log under its panel's title; the filter finds its first event.
void tst_MainWindow::logFilterFindsAnEvent()
{
    MainWindow window(m_host);
    heardOnce(window, 9323);
    QAbstractItemModel* log = openLog(window);
    QTRY_COMPARE(last(log, 1) + ' ' + last(log, 3), QStringLiteral("Receiver 127.0.0.1:9323 lost"));
    child<QLineEdit>(&window, "logFilterEdit")->setText(QStringLiteral("new"));
    QCOMPARE(log->rowCount(), 1);
    QCOMPARE(last(log, 3), QStringLiteral("new"));
}

// The window's metrics name its panels; the test trap goes from the active receiver, with the
// community and the destination in its fields.
void tst_MainWindow::metricsAndTestTrap()
{
    MainWindow window(m_host);
    window.addTransmitter()->configure({ { QHostAddress(QStringLiteral("234.5.6.7")), 9340 } });
    QVERIFY(!child<QAction>(&window, "snmpTrapAct")->isEnabled());
    ReceiverPanel* panel = window.addReceiver();
    QVERIFY(child<QAction>(&window, "snmpTrapAct")->isEnabled());
    panel->configure({ { QHostAddress::LocalHost, 9341 }, 0, false });
    QVERIFY(panel->start());
    QUdpSocket().writeDatagram(probeBytes(1), QHostAddress::LocalHost, 9341);
    QTRY_COMPARE(child<QTreeView>(panel, "sourceList")->model()->rowCount(), 1);

    QVERIFY(window.serveMetrics(QStringLiteral("127.0.0.1:9342")));
    QNetworkAccessManager client;
    std::unique_ptr<QNetworkReply> reply(
        client.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:9342/metrics")))));
    QTRY_VERIFY(reply->isFinished());
    const QByteArray metrics = reply->readAll();
    QVERIFY(metrics.contains(
        "lumivox_rx_probes_total{receiver=\"127.0.0.1:9341\",source=\"127.0.0.1\""));
    QVERIFY(metrics.contains("lumivox_tx_probes_total{transmitter=\"234.5.6.7:9340\"} 0"));

    QUdpSocket manager;
    QVERIFY(manager.bind(QHostAddress::LocalHost, 9343));
    child<QLineEdit>(panel, "trapDestinationEdit")->setText(QStringLiteral("127.0.0.1:9343"));
    child<QLineEdit>(panel, "communityEdit")->setText(QStringLiteral("lumivox-test"));
    trigger(window, "snmpTrapAct");
    QTRY_VERIFY(manager.hasPendingDatagrams());
    const QByteArray trap = manager.receiveDatagram().data();
    QVERIFY(trap.contains("lumivox-test"));
    QVERIFY(trap.contains(QByteArray::fromHex("2b060103b9550003"))); // 1.3.6.1.3.7381.0.3
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
