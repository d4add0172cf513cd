#include "headless/HeadlessRun.h"

#include "TestSupport.h"

#include <QTextStream>
#include <QUdpSocket>

// What only an in-process run shows: the moment of the stop, and the rows printed by a clock
// of the test's own.
class tst_HeadlessRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { REQUIRE_ISOLATED_NETWORK(); }
    void aProbeJustBeforeTheStopIsInTheFinalRows();
    void aLostRowIsPrintedOnceAMinute();
    void twoReceiversOfOneGroupAreToldApart();
};

void tst_HeadlessRun::aProbeJustBeforeTheStopIsInTheFinalRows()
{
    Options options;
    options.json = true;
    options.receive = { { QHostAddress(QStringLiteral("234.5.6.7")), 9400 } };
    QString output, errors;
    QTextStream out(&output), err(&errors);
    HostContext host;
    HeadlessRun run(host, options, out, err);
    QVERIFY(run.start());
    QUdpSocket sender;
    QCOMPARE(sender.writeDatagram(probeBytes(7), QHostAddress::LocalHost, 9400), 100);
    run.stop(); // in the same turn of the event loop
    QVERIFY2(output.contains(QLatin1String("\"seq\":7")), qPrintable(output));
    QVERIFY(errors.isEmpty());
}

// A row goes out at every change while its sender sends; once lost, when it goes lost and
// then a minute after it was last printed, whatever changed between.
void tst_HeadlessRun::aLostRowIsPrintedOnceAMinute()
{
    SourceTable sources;
    sources.setRules({ 1000, 1 });
    ChangedRows rows;
    QList<int> printedAt;
    const auto second = [&](int at, quint32 probe = 0) {
        if (probe) {
            const QByteArray bytes = probeBytes(probe, 1);
            rows.mark(sources
                          .countProbe(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                              std::size_t(bytes.size()), "10.0.0.1", 5000, at, at * 1000)
                          .index);
        }
        sources.checkOverdue(at * 1000, [&](std::size_t index, bool) { rows.mark(index); });
        if (!rows.takeDue(sources, at * 1000).empty())
            printedAt << at;
    };
    second(0, 1);
    second(1, 2);
    for (int at = 2; at <= 130; ++at)
        second(at); // lost at 3 s, its Cons. Miss counting up every second
    second(131, 3);
    QCOMPARE(printedAt, (QList<int> { 0, 1, 3, 63, 123, 131 }));
}

void tst_HeadlessRun::twoReceiversOfOneGroupAreToldApart()
{
    Options options;
    options.json = true;
    const Endpoint where { QHostAddress(QStringLiteral("234.5.6.7")), 9401 };
    options.receive = { where, where };
    QString output, errors;
    QTextStream out(&output), err(&errors);
    HostContext host;
    HeadlessRun run(host, options, out, err);
    QVERIFY(run.start());
    QCOMPARE(QUdpSocket().writeDatagram(probeBytes(7), where.group, where.port), 100);
    run.stop();
    const QStringList rows = output.split(QLatin1Char('\n')).filter(QLatin1String("\"seq\":7"));
    QCOMPARE(rows.size(), 2);
    QVERIFY2(!rows[0].contains(QLatin1String("#2")), qPrintable(output));
    QVERIFY2(
        rows[1].contains(QLatin1String("\"receiver\":\"234.5.6.7:9401 #2\"")), qPrintable(output));
}

QTEST_GUILESS_MAIN(tst_HeadlessRun)
#include "tst_headlessrun.moc"
