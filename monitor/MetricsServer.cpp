#include "monitor/MetricsServer.h"

#include <QHttpServer>
#include <QTcpServer>

namespace {

constexpr char ExpositionType[] = "text/plain; version=0.0.4; charset=utf-8";

constexpr char LandingPage[] = "<!DOCTYPE html>\n<html><head><title>Lumivox Tool</title></head>\n"
                               "<body><h1>Lumivox Tool</h1>\n"
                               "<p><a href=\"/metrics\">Metrics</a></p></body></html>\n";

} // namespace

MetricsServer::MetricsServer(Collect collect, QObject* parent)
    : QObject(parent)
    , m_collect(std::move(collect))
{
}

MetricsServer::~MetricsServer() = default;

bool MetricsServer::listen(const Endpoint& where)
{
    close();
    auto http = std::make_unique<QHttpServer>();
    // Our own listening socket, for the system's reason when the port is taken.
    auto* tcp = new QTcpServer(http.get());
    if (!tcp->listen(where.group, where.port)) {
        m_error = tcp->errorString();
        return false;
    }
    http->route(QStringLiteral("/"), [] {
        return QHttpServerResponse(QByteArrayLiteral("text/html; charset=utf-8"), LandingPage);
    });
    http->route(QStringLiteral("/metrics"),
        [this] { return QHttpServerResponse(QByteArray(ExpositionType), scrape()); });
    http->bind(tcp);
    m_port = tcp->serverPort();
    m_http = std::move(http);
    m_error.clear();
    return true;
}

void MetricsServer::close()
{
    m_http.reset();
    m_port = 0;
}

QByteArray MetricsServer::scrape() const
{
    MetricsText text(m_maxSources);
    m_collect(text);
    return text.text();
}
