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

// The JSON rows of probe 7, sent to the port just before the stop, of these receivers.
static QStringList rowsOfAProbeAtTheStop(
    const std::vector<Endpoint>& receivers, const QHostAddress& to)
{
    Options options;
    options.json = true;
    options.receive = receivers;
    QString output, errors;
    QTextStream out(&output), err(&errors);
    HostContext host;
    HeadlessRun run(host, options, out, err);
    if (!run.start() || QUdpSocket().writeDatagram(probeBytes(7), to, receivers[0].port) != 100)
        return { QStringLiteral("no probe sent") };
    run.stop(); // in the same turn of the event loop
    return output.split(QLatin1Char('\n')).filter(QLatin1String("\"seq\":7"))
        + errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void tst_HeadlessRun::aProbeJustBeforeTheStopIsInTheFinalRows()
{
    const QStringList rows = rowsOfAProbeAtTheStop(
        { { QHostAddress(QStringLiteral("234.5.6.7")), 9400 } }, QHostAddress::LocalHost);
    QCOMPARE(rows.size(), 1);
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
    const Endpoint where { QHostAddress(QStringLiteral("234.5.6.7")), 9401 };
    const QStringList rows = rowsOfAProbeAtTheStop({ where, where }, where.group);
    QCOMPARE(rows.size(), 2);
    QVERIFY2(!rows[0].contains(QLatin1String("#2")), qPrintable(rows.join('\n')));
    QVERIFY2(rows[1].contains(QLatin1String("\"receiver\":\"234.5.6.7:9401 #2\"")),
        qPrintable(rows.join('\n')));
}

QTEST_GUILESS_MAIN(tst_HeadlessRun)
#include "tst_headlessrun.moc"
