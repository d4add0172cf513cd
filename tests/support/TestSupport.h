#pragma once

#include "core/ProbePacket.h"

#include <QFile>
#include <QTest>

#include <sys/resource.h>

// Why this process could reach beyond its own network: a link but loopback and the tests'
// lvx* ones, or an IPv4 default route. Fails closed on what it cannot read.
inline QString notIsolatedBecause()
{
    const auto lines = [](const char* path) {
        QFile file { QString::fromLatin1(path) };
        return file.open(QIODevice::ReadOnly)
            ? QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
            : QStringList { QStringLiteral("unreadable") };
    };
    for (const QString& line : lines("/proc/net/dev").mid(2)) {
        const QString name = line.section(QLatin1Char(':'), 0, 0).trimmed();
        if (name != QLatin1String("lo") && !name.startsWith(QLatin1String("lvx")))
            return QStringLiteral("interface ") + name;
    }
    for (const QString& line : lines("/proc/net/route").mid(1)) {
        const QStringList field = line.simplified().split(QLatin1Char(' '));
        if (field.size() < 8 || (field[1] == QLatin1String("00000000") && field[7] == field[1]))
            return QStringLiteral("an IPv4 default route");
    }
    return {};
}

#define REQUIRE_ISOLATED_NETWORK()                                                                 \
    QVERIFY2(notIsolatedBecause().isEmpty(), qPrintable("NOT ISOLATED: " + notIsolatedBecause()))

inline QByteArray probeBytes(quint32 sequence, quint32 period = 5, std::size_t size = 100)
{
    const auto bytes = ProbePacket { ProbePacket::TypeProbe, sequence, period }.build(size);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// Runs what is given where the process may open no file, so no socket either.
inline void withoutFiles(const std::function<void()>& run)
{
    rlimit saved {};
    getrlimit(RLIMIT_NOFILE, &saved);
    const rlimit none { 0, saved.rlim_max };
    setrlimit(RLIMIT_NOFILE, &none);
    run();
    setrlimit(RLIMIT_NOFILE, &saved);
}
