#include "mesh/MeshKey.h"

#include "core/MeshReport.h"

#include <QFile>
#include <QMessageAuthenticationCode>

#include <sys/stat.h>

std::optional<MeshKey> MeshKey::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("cannot read the mesh key %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    struct stat status { };
    if (::fstat(file.handle(), &status) == 0 && (status.st_mode & (S_IRWXG | S_IRWXO))) {
        *error = tr("the mesh key %1 may be read by others than its owner; chmod 600 it").arg(path);
        return std::nullopt;
    }
    const QByteArray secret = file.read(64 * 1024);
    if (secret.size() < MinimumBytes) {
        *error = tr("the mesh key %1 holds %2 bytes, fewer than %3: make one with "
                    "head -c 32 /dev/urandom")
                     .arg(path)
                     .arg(secret.size())
                     .arg(MinimumBytes);
        return std::nullopt;
    }
    return MeshKey(secret);
}

MeshKey::MeshKey(const QByteArray& secret)
    : m_secret(secret)
{
}

QByteArray MeshKey::tag(const std::uint8_t* bytes, std::size_t length, std::uint32_t sequence) const
{
    QMessageAuthenticationCode code(QCryptographicHash::Sha256, m_secret);
    code.addData(reinterpret_cast<const char*>(bytes), qsizetype(length));
    const char number[4]
        = { char(sequence >> 24), char(sequence >> 16), char(sequence >> 8), char(sequence) };
    code.addData(number, 4);
    return code.result();
}

bool MeshKey::verify(const std::uint8_t* bytes, std::size_t length, std::uint32_t sequence,
    const std::uint8_t* tag) const
{
    const QByteArray expected = this->tag(bytes, length, sequence);
    std::uint8_t difference = 0;
    for (std::size_t i = 0; i < MemberReport::TagSize; ++i)
        difference |= std::uint8_t(expected[qsizetype(i)]) ^ tag[i];
    return difference == 0;
}
