#pragma once

#include <QString>

// True when this process can reach no network but its own: only loopback and veth
// interfaces made by the tests, and no default route. Otherwise why says what was found.
bool IsNetworkIsolated(QString* why);

// For initTestCase(): fails the whole test loudly when the process is not isolated.
#define REQUIRE_ISOLATED_NETWORK()                                                                 \
    do {                                                                                           \
        QString why_;                                                                              \
        if (!IsNetworkIsolated(&why_))                                                             \
            QFAIL(qPrintable(QStringLiteral("NOT ISOLATED, refusing to open sockets: ") + why_     \
                + QStringLiteral(". Run through tests/isolated-net.")));                           \
    } while (false)
