// How long a Prometheus scrape takes: over HTTP from a client in the same event loop, and
// the rendering alone, which is how long the receive path waits. Run it through bench/run.

#include "core/ProbePacket.h"
#include "core/SourceTable.h"
#include "monitor/MetricsServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void fill(SourceTable& table, int sources)
{
    const auto bytes = ProbePacket { ProbePacket::TypeProbe, 1, 5 }.build(ProbePacket::HeaderSize);
    for (int i = 0; i < sources; ++i)
        table.countProbe(bytes.data(), bytes.size(),
            "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "."
                + std::to_string(i % 256),
            std::uint16_t(5000 + i % 7), 0, 0, 16);
}

// Milliseconds from the request to the last byte of the answer, as long as its
// Content-Length says.
double scrapeOverHttp(quint16 port)
{
    QTcpSocket client;
    QEventLoop loop;
    QByteArray answer;
    QObject::connect(&client, &QTcpSocket::readyRead, &loop, [&] {
        answer += client.readAll();
        const qsizetype body = answer.indexOf("\r\n\r\n");
        const qsizetype length = answer.indexOf("Content-Length: ");
        if (body >= 0 && length >= 0
            && answer.size() - body - 4
                >= answer.mid(length + 16).split('\r').constFirst().toLongLong())
            loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    client.connectToHost(QHostAddress::LocalHost, port);
    client.write("GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n");
    loop.exec();
    return double(timer.nsecsElapsed()) / 1e6;
}

template <class Measure> double median(Measure measure)
{
    std::vector<double> runs;
    for (int i = 0; i < 21; ++i)
        runs.push_back(measure());
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    for (const int sources : { 1000, 10000 }) {
        SourceTable table;
        fill(table, sources);
        MetricsServer server(
            [&](MetricsText& text) { text.addReceiver("234.5.6.7:8910", table, 0); });
        if (!server.listen({ QHostAddress(QHostAddress::LocalHost), 0 })) {
            std::fprintf(stderr, "bench_metrics: %s\n", qPrintable(server.errorString()));
            return 1;
        }
        const double http = median([&] { return scrapeOverHttp(server.serverPort()); });
        const double render = median([&] {
            QElapsedTimer timer;
            timer.start();
            const QByteArray text = server.scrape();
            return text.isEmpty() ? -1 : double(timer.nsecsElapsed()) / 1e6;
        });
        std::printf("metrics: a scrape of a receiver with %d sources (%zu exported) answers in "
                    "%.1f ms over HTTP; rendering it holds the receive path %.1f ms\n",
            sources, std::min<std::size_t>(sources, Defaults::metricsMaxSources), http, render);
    }
    return 0;
}
