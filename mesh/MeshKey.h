#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

// The secret a mesh's members share to sign their reports: HMAC-SHA256 of a block's bytes
// and the probe's sequence number. Whoever holds it can speak for any member.
class MeshKey {
    Q_DECLARE_TR_FUNCTIONS(MeshKey)

public:
    static constexpr qint64 MinimumBytes = 32;

    // The key in the file; none, with why in error, when it cannot be read, is shorter than
    // MinimumBytes, or others than its owner may read it.
    static std::optional<MeshKey> load(const QString& path, QString* error);
    explicit MeshKey(const QByteArray& secret);

    QByteArray tag(const std::uint8_t* bytes, std::size_t length, std::uint32_t sequence) const;
    // Compared in constant time: how much of a forged tag is right must not show in how
    // long the refusal takes.
    bool verify(const std::uint8_t* bytes, std::size_t length, std::uint32_t sequence,
        const std::uint8_t* tag) const;

private:
    QByteArray m_secret;
};
