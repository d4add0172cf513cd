#include "shell/CCommandLine.h"

#include <QtTest>

Q_DECLARE_METATYPE(CCommandLine::Outcome)

class tst_CCommandLine : public QObject {
    Q_OBJECT

private slots:
    void outcomes_data();
    void outcomes();
    void valuesAndDefaults();
    void endpointsRepeat();
};

void tst_CCommandLine::outcomes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<CCommandLine::Outcome>("outcome");
    QTest::addColumn<QString>("error"); // the start of the one line, when it is an error

    using O = CCommandLine::Outcome;
    const QString bad = QStringLiteral("lumivox-tool: ");
    QTest::newRow("nothing: the window as always") << QStringList {} << O::Run << QString();
    QTest::newRow("-h") << QStringList { "-h" } << O::Help << QString();
    QTest::newRow("--help wins over a bad value")
        << QStringList { "--ttl", "0", "--help" } << O::Help << QString();
    QTest::newRow("-v") << QStringList { "-v" } << O::Version << QString();
    QTest::newRow("--version") << QStringList { "--version" } << O::Version << QString();
    QTest::newRow("headless receiver")
        << QStringList { "--headless", "--receive", "234.5.6.7:8910" } << O::Run << QString();
    QTest::newRow("limits accepted") << QStringList { "--transmit", "239.1.2.3:65535", "--ttl",
        "255", "--period", "86400", "--size", "43" }
                                     << O::Run << QString();
    QTest::newRow("random size") << QStringList { "--transmit", "239.1.2.3:1", "--size", "random" }
                                 << O::Run << QString();
    QTest::newRow("unknown option")
        << QStringList { "--bogus" } << O::Error << bad + "unknown option 'bogus'";
    QTest::newRow("missing value")
        << QStringList { "--ttl" } << O::Error << bad + "missing value after '--ttl'";
    QTest::newRow("stray argument")
        << QStringList { "234.5.6.7" } << O::Error << bad + "unexpected argument \"234.5.6.7\"";
    QTest::newRow("TTL 0") << QStringList { "--ttl", "0" } << O::Error
                           << bad + "--ttl takes a whole number from 1 to 255";
    QTest::newRow("TTL 256") << QStringList { "--ttl", "256" } << O::Error
                             << bad + "--ttl takes a whole number from 1 to 255";
    QTest::newRow("period 86401") << QStringList { "--period",
        "86401" } << O::Error << bad + "--period takes a whole number of seconds from 1 to 86400";
    QTest::newRow("period negative")
        << QStringList { "--period", "-5" } << O::Error << bad + "--period takes";
    QTest::newRow("size 42") << QStringList { "--size", "42" } << O::Error
                             << bad + "--size takes a whole number of bytes from 43 to 1500";
    QTest::newRow("size 1501") << QStringList { "--size", "1501" } << O::Error
                               << bad + "--size takes";
    QTest::newRow("port 0") << QStringList { "--receive", "234.5.6.7:0" } << O::Error
                            << bad + "--receive takes GROUP:PORT";
    QTest::newRow("port 65536") << QStringList { "--transmit", "234.5.6.7:65536" } << O::Error
                                << bad + "--transmit takes GROUP:PORT";
    QTest::newRow("no port") << QStringList { "--transmit", "234.5.6.7" } << O::Error
                             << bad + "--transmit takes GROUP:PORT";
    QTest::newRow("host name, never looked up") << QStringList { "--receive", "localhost:8910" }
                                                << O::Error << bad + "--receive takes GROUP:PORT";
    QTest::newRow("duration 0") << QStringList { "--duration", "0" } << O::Error
                                << bad + "--duration takes";
    QTest::newRow("duration past what a timer waits")
        << QStringList { "--duration", "2147484" } << O::Error
        << bad + "--duration takes a whole number of seconds from 1 to 2147483";
    QTest::newRow("--json alone") << QStringList { "--json", "--receive", "234.5.6.7:1" }
                                  << O::Error << bad + "--json goes with --headless";
    QTest::newRow("headless with nothing to do")
        << QStringList { "--headless" } << O::Error << bad + "--headless needs at least one";
}

void tst_CCommandLine::outcomes()
{
    QFETCH(QStringList, arguments);
    QFETCH(CCommandLine::Outcome, outcome);
    QFETCH(QString, error);
    CCommandLine options;
    QCOMPARE(options.Parse(QStringList { "lumivox-tool" } + arguments), outcome);
    QVERIFY2(options.Error().startsWith(error), qPrintable(options.Error()));
    QVERIFY(!options.Error().contains(QLatin1Char('\n')));
}

void tst_CCommandLine::valuesAndDefaults()
{
    CCommandLine defaults;
    QCOMPARE(defaults.Parse({ "lumivox-tool" }), CCommandLine::Outcome::Run);
    QCOMPARE(defaults.m_nTTL, 16u);
    QCOMPARE(defaults.m_nPeriod, 5u);
    QCOMPARE(defaults.m_nPacketSize, 1000u);
    QVERIFY(defaults.m_bJoin && !defaults.m_bRandomise && !defaults.m_bHeadless);
    QCOMPARE(defaults.m_nDuration, 0u);

    CCommandLine options;
    QCOMPARE(
        options.Parse({ "lumivox-tool", "--headless", "--json", "--receive", "239.0.0.1:5000",
            "--no-join", "--ttl", "3", "--period", "2", "--size", "random", "--duration", "9" }),
        CCommandLine::Outcome::Run);
    QVERIFY(options.m_bHeadless && options.m_bJson && !options.m_bJoin && options.m_bRandomise);
    QCOMPARE(options.m_nTTL, 3u);
    QCOMPARE(options.m_nPeriod, 2u);
    QCOMPARE(options.m_nDuration, 9u);
}

void tst_CCommandLine::endpointsRepeat()
{
    CCommandLine options;
    QCOMPARE(options.Parse({ "lumivox-tool", "--transmit", "239.0.0.1:5000", "--receive",
                 "239.0.0.2:5001", "--transmit", "239.0.0.3:5002" }),
        CCommandLine::Outcome::Run);
    QCOMPARE(options.m_transmit.size(), std::size_t(2));
    QCOMPARE(options.m_transmit[1].Text(), QStringLiteral("239.0.0.3:5002"));
    QCOMPARE(options.m_receive.size(), std::size_t(1));
    QCOMPARE(options.m_receive[0].group, std::string("239.0.0.2"));
    QCOMPARE(options.m_receive[0].port, std::uint16_t(5001));
}

QTEST_GUILESS_MAIN(tst_CCommandLine)
#include "tst_ccommandline.moc"
