#pragma once

#include "monitor/MetricsText.h"
#include "net/Parsing.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class QHttpServer;

// Serves /metrics in Prometheus's text format, and a page at / that links to it. Each scrape
// asks the owner to add its receivers and transmitters, on the one thread, between two
// datagrams.
class MetricsServer : public QObject {
    Q_OBJECT

public:
    using Collect = std::function<void(MetricsText&)>;

    explicit MetricsServer(Collect collect, QObject* parent = nullptr);
    ~MetricsServer() override;

    // False, with errorString() telling why, when the port cannot be had.
    bool listen(const Endpoint& where);
    void close();
    bool isListening() const { return bool(m_http); }
    QString errorString() const { return m_error; }
    quint16 serverPort() const { return m_port; }
    // Sources a receiver exports beyond which they are only counted.
    void setMaxSources(std::size_t maxSources) { m_maxSources = maxSources; }

    QByteArray scrape() const;

private:
    Collect m_collect;
    std::size_t m_maxSources = Defaults::metricsMaxSources;
    std::unique_ptr<QHttpServer> m_http;
    quint16 m_port = 0;
    QString m_error;
};
