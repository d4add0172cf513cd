#pragma once

#include "probe/ProbeDefaults.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

// A group and port to send to or listen on, as GROUP:PORT on the command line.
struct CEndpoint {
    std::string group;
    std::uint16_t port = 0;

    QString Text() const
    {
        return QStringLiteral("%1:%2").arg(QString::fromStdString(group)).arg(port);
    }
};

// The program's options, read before any window or display is needed. The limits and
// defaults are the panels' own.
class CCommandLine {
public:
    enum class Outcome { Run, Help, Version, Error };

    // The arguments as given to main(), the program's name first.
    Outcome Parse(const QStringList& arguments);

    static QString HelpText();
    static QString VersionText();
    // One line naming the option at fault and what it accepts.
    QString Error() const { return m_strError; }

    bool m_bHeadless = false;
    bool m_bJson = false;
    bool m_bJoin = true;
    bool m_bRandomise = false;
    std::vector<CEndpoint> m_transmit;
    std::vector<CEndpoint> m_receive;
    std::uint32_t m_nTTL = DEFAULT_TTL;
    std::uint32_t m_nPeriod = DEFAULT_PERIOD;
    std::uint32_t m_nPacketSize = DEFAULT_PACKET_SIZE;
    std::uint32_t m_nDuration = 0; // seconds; 0 runs until stopped

private:
    Outcome fail(const QString& error);

    QString m_strError;
};
