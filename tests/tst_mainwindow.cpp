#include "commandline/CommandLine.h"
#include "receiver/ReceiverPanel.h"
#include "shell/MainWindow.h"
#include "transmitter/TransmitterPanel.h"

#include "TestSupport.h"

#include <QAction>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QNetworkAccessManager>
#include <QNetworkDatagram>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUdpSocket>

// The main window with its panels: the command line, ticks, closing and start-up.
class tst_MainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { REQUIRE_ISOLATED_NETWORK(); }
    void commandLineOpensRunningPanels();
    void closing_data();
    void closing();
    void closingReceiverUnderItsBox();
    void lostSourceInItsRowAndTheLog();
    void metricsAndTestTrap();
    void about();

private:
    static void trigger(MainWindow& window, const char* action)
    {
        child<QAction>(&window, action)->trigger();
        QCoreApplication::processEvents();
    }
};

// The command line's panels run, and the tick drives them: the transmitter's probes reach
// the receiver's list.
void tst_MainWindow::commandLineOpensRunningPanels()
{
    CommandLine commandLine;
    QCOMPARE(commandLine.parse(QStringLiteral("lumivox-tool --transmit 234.5.6.7:9300 --period 1 "
                                              "--receive 234.5.6.7:9300")
                                   .split(' ')),
        CommandLine::Outcome::Run);
    MainWindow window;
    window.openPanels(commandLine.options());
    QCOMPARE(window.findChild<TransmitterPanel*>()->state(), TransmitterPanel::State::Running);
    QTRY_COMPARE(
        child<QTreeView>(window.findChild<ReceiverPanel*>(), "sourceList")->model()->rowCount(), 1);
}

void tst_MainWindow::closing_data()
{
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::newRow("Close, Yes") << QByteArray("closeAct") << true << QMessageBox::Yes;
    QTest::newRow("Close, Cancel") << QByteArray("closeAct") << true << QMessageBox::Cancel;
    QTest::newRow("Exit, Yes") << QByteArray("exitAct") << true << QMessageBox::Yes;
    QTest::newRow("Exit, Cancel") << QByteArray("exitAct") << true << QMessageBox::Cancel;
    QTest::newRow("Exit, none running") << QByteArray("exitAct") << false << QMessageBox::Yes;
}

// A running transmitter asks before its window closes, and before Exit closes the program;
// the main window's own button closes without asking.
void tst_MainWindow::closing()
{
    QFETCH(QByteArray, action);
    QFETCH(bool, running);
    QFETCH(QMessageBox::StandardButton, answer);
    MessageBoxRecorder boxes(answer);
    auto window = std::make_unique<MainWindow>();
    window->show();
    TransmitterPanel* transmitter = window->addTransmitter();
    if (running)
        transmitter->start();
    window->addReceiver()->start();
    trigger(*window, "nextAct"); // the transmitter, opened first
    trigger(*window, action.constData());
    const int asked = running ? 1 : 0;
    QCOMPARE(boxes.boxes.size(), asked);
    if (running)
        QCOMPARE(
            boxes.boxes.at(0).buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    const bool closes = answer != QMessageBox::Cancel;
    const bool exits = action == "exitAct";
    QTRY_COMPARE(window->findChild<TransmitterPanel*>() == nullptr, running && closes);
    QCOMPARE(window->isVisible(), !(exits && closes));
    if (window->isVisible())
        QVERIFY(window->close());
    window.reset();
    QCOMPARE(boxes.boxes.size(), asked);
}

// Closing a receiver, then the whole window, while its box is up.
void tst_MainWindow::closingReceiverUnderItsBox()
{
    MessageBoxRecorder boxes;
    auto window = std::make_unique<MainWindow>();
    QPointer<ReceiverPanel> panel = window->addReceiver();
    panel->configure({ QHostAddress(QStringLiteral("234.5.6.7")), 9310 }, false);
    QVERIFY(panel->start());
    boxes.whileOpen = [&] {
        trigger(*window, "closeAct");
        QTRY_VERIFY(!panel);
        window.reset();
    };
    QUdpSocket().writeDatagram(QByteArray(), QHostAddress::LocalHost, 9310);
    QTRY_VERIFY(!window);
    QCOMPARE(boxes.boxes.size(), 1);
}

// A source that stops stands out as lost in its row and in the log, which saves as CSV.
void tst_MainWindow::lostSourceInItsRowAndTheLog()
{
    MainWindow window;
    ReceiverPanel* panel = window.addReceiver();
    panel->configure({ QHostAddress::LocalHost, 9320 }, false);
    child<QLineEdit>(panel, "lossThresholdEdit")->setText(QStringLiteral("1"));
    child<QLineEdit>(panel, "maxLatencyEdit")->setText(QStringLiteral("1"));
    QVERIFY(panel->start());
    QUdpSocket().writeDatagram(probeBytes(1, 1), QHostAddress::LocalHost, 9320);
    QAbstractItemModel* rows = child<QTreeView>(panel, "sourceList")->model();
    QTRY_COMPARE(rows->index(0, rows->columnCount() - 1).data().toString(), QStringLiteral("Lost"));
    QVERIFY(rows->index(0, 0).data(Qt::BackgroundRole).isValid());
    trigger(window, "logAct");
    QAbstractItemModel* log = child<QTreeView>(&window, "logView")->model();
    QCOMPARE(log->index(log->rowCount() - 1, 3).data().toString(), QStringLiteral("lost"));
    QTemporaryDir folder;
    setSaveFileNameHandler([&folder] { return folder.filePath(QStringLiteral("log.csv")); });
    trigger(window, "saveAct");
    setSaveFileNameHandler({});
    QFile saved(folder.filePath(QStringLiteral("log.csv")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll().count('\n'), log->rowCount() + 1); // and a header
}

// The window's metrics name its panels; the test trap goes from the active receiver, with the
// community and the destination in its fields.
void tst_MainWindow::metricsAndTestTrap()
{
    MainWindow window;
    window.addTransmitter()->configure({ { QHostAddress(QStringLiteral("234.5.6.7")), 9340 } });
    QVERIFY(!child<QAction>(&window, "snmpTrapAct")->isEnabled());
    ReceiverPanel* panel = window.addReceiver();
    QVERIFY(child<QAction>(&window, "snmpTrapAct")->isEnabled());
    panel->configure({ QHostAddress::LocalHost, 9341 }, false);
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

// About names the version and the Qt it runs on; About Qt is Qt's own box.
void tst_MainWindow::about()
{
    MessageBoxRecorder boxes;
    MainWindow window;
    trigger(window, "aboutAct");
    trigger(window, "aboutQtAct");
    QCOMPARE(boxes.boxes.size(), 2);
    const QString text = boxes.boxes.at(0).text;
    QVERIFY2(text.startsWith(QStringLiteral("Lumivox Tool %1\n").arg(CommandLine::version()))
            && text.contains(QLatin1String(qVersion())) && text.contains(QLatin1String("licence")),
        qPrintable(text));
    QVERIFY(boxes.boxes.at(1).aboutQt);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
