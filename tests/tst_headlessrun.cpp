#include "headless/HeadlessRun.h"

#include "TestSupport.h"

#include <QTextStream>
#include <QUdpSocket>

// What only an in-process run shows: the moment of the stop.
class tst_HeadlessRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { REQUIRE_ISOLATED_NETWORK(); }
    void aProbeJustBeforeTheStopIsInTheFinalRows();
};

void tst_HeadlessRun::aProbeJustBeforeTheStopIsInTheFinalRows()
{
    Options options;
    options.json = true;
    options.receive = { { QHostAddress(QStringLiteral("234.5.6.7")), 9400 } };
    QString output, errors;
    QTextStream out(&output), err(&errors);
    HeadlessRun run(options, out, err);
    QVERIFY(run.start());
    QUdpSocket sender;
    QCOMPARE(sender.writeDatagram(probeBytes(7), QHostAddress::LocalHost, 9400), 100);
    run.stop(); // in the same turn of the event loop
    QVERIFY2(output.contains(QLatin1String("\"seq\":7")), qPrintable(output));
    QVERIFY(errors.isEmpty());
}

QTEST_GUILESS_MAIN(tst_HeadlessRun)
#include "tst_headlessrun.moc"
