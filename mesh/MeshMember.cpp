#include "mesh/MeshMember.h"

#include "net/QuerierWatch.h"
#include "net/Tick.h"

#include <QRandomGenerator>

MeshMember::MeshMember(HostContext& host, QObject* parent)
    : QObject(parent)
    , m_sender(host)
    , m_receiver(host)
{
    connect(&m_receiver, &ProbeReceiver::blockCounted, this, &MeshMember::readBlock);
    connect(&m_receiver, &ProbeReceiver::eventOccurred, this, &MeshMember::tellReceiverEvent);
    connect(&m_receiver, &ProbeReceiver::cleared, this, [this] { m_sourceMembers.clear(); });
    connect(&m_sender, &ProbeSender::eventOccurred, this, &MeshMember::eventOccurred);
    m_sender.setBlockWriter([this](std::vector<std::uint8_t>& probe, quint32 sequence) {
        writeBlock(probe, sequence);
    });
}

bool MeshMember::start(const MeshSettings& settings)
{
    m_settings = settings;
    m_matrix = MeshMatrix(settings.maxMembers);
    m_pager.clear();
    m_view.clear();
    m_sourceMembers.clear();
    m_columnToldLost.clear();
    m_forgedRefused = m_replaysRefused = 0;
    m_unverified.clear();

    // New ids at each start: a member restarted is a new member, and its old run's probes,
    // replayed, are no longer its own.
    m_report = {};
    m_report.id = QRandomGenerator::system()->generate64();
    m_runId = QRandomGenerator::system()->generate64();
    m_report.name = MemberReport::shortName(settings.name.toStdString());
    m_report.ttl = std::uint8_t(settings.sending.ttl);
    m_fit = MemberReport::entriesThatFit(
        settings.sending.sizeBytes, m_report.name.size(), settings.key.has_value());
    m_self = m_matrix.member(m_report.id);
    KnownMember& self = m_matrix.at(m_self);
    self.self = true;
    m_matrix.heard(m_self, m_report, {}, 0, settings.sending.periodSeconds * 1000, Tick::nowMs());

    if (!m_receiver.start(settings.receiving))
        return false;
    if (!m_sender.start(settings.sending)) {
        m_receiver.stop();
        return false;
    }
    return true;
}

void MeshMember::stop()
{
    m_sender.stop(ProbeSender::Stopping::Announced);
    m_receiver.stop();
}

void MeshMember::tick(int phase)
{
    m_receiver.tick(phase);
    if (phase == Tick::secondPhase && m_sender.isStarted())
        refreshOwnRow();
    m_sender.tick(phase);
}

std::size_t MeshMember::memberOf(const Source& source) const
{
    for (std::size_t member = 0; member < m_matrix.size(); ++member) {
        const KnownMember& known = m_matrix.at(member);
        if (!known.self && known.port == source.port && known.address == source.address)
            return member;
    }
    return MeshMatrix::NotCounted;
}

QString MeshMember::memberName(std::size_t member) const
{
    return QString::fromStdString(m_matrix.nameOf(member));
}

void MeshMember::readBlock(std::size_t index, const ProbeBlock::Reading& block, quint32 sequence)
{
    const auto report = MemberReport::decode(block);
    if (!report)
        return;
    const Source& source = m_receiver.sources().at(index);
    if (report->id == m_report.id) {
        // Its own probe come back: where the others hear it from.
        m_matrix.at(m_self).address = source.address;
        m_matrix.at(m_self).port = source.port;
        return;
    }
    if (!trusted(*report, block, sequence, source))
        return;
    const std::size_t member = m_matrix.member(report->id);
    if (member == MeshMatrix::NotCounted)
        return;
    KnownMember& known = m_matrix.at(member);
    if (report->signature) {
        // A run's numbers only move on: one already seen, from anywhere, is a replay, and so
        // is a run other than the one the member started with.
        if (known.hasRun
            && (known.runId != report->signature->runId
                || !serialBefore(known.lastSequence, sequence))) {
            ++m_replaysRefused;
            return;
        }
        known.hasRun = true;
        known.runId = report->signature->runId;
        known.lastSequence = sequence;
    }
    if (m_sourceMembers.size() <= index)
        m_sourceMembers.resize(index + 1, MeshMatrix::NotCounted);
    m_sourceMembers[index] = member;
    const std::int64_t now = Tick::nowMs();
    const bool changed = m_matrix.heard(
        member, *report, source.address, source.port, std::int64_t(source.period) * 1000, now);
    m_matrix.at(member).stoppedOnPurpose = source.stopped;
    const PairState before = m_matrix.cell(member, m_self).state;
    m_matrix.applyPage(member, report->heard, now);
    tellColumn(member, before);
    if (changed) {
        const MemberReport& summary = m_matrix.at(member).summary;
        Event event = Event::withDetail(Event::MemberChanged, name(),
            tr("%1 hears %2 OK, %3 lost, %4 stopped; %5")
                .arg(memberName(member))
                .arg(summary.ok)
                .arg(summary.lost)
                .arg(summary.stopped)
                .arg(summary.queriersUnseen ? tr("queriers cannot be seen there")
                        : summary.hearsQuerier()
                        ? tr("querier %1").arg(QHostAddress(summary.querier.data()).toString())
                        : tr("no querier heard")));
        event.source = QString::fromStdString(source.address);
        event.port = source.port;
        event.member = memberName(member);
        emit eventOccurred(event);
    }
}

// Unsigned meshes take every report. Signed ones take signed reports whose tag is right, and
// show the members without a signature as unverified, their reports unread.
bool MeshMember::trusted(const MemberReport& report, const ProbeBlock::Reading& block,
    quint32 sequence, const Source& source)
{
    if (!m_settings.key)
        return true;
    if (!report.signature) {
        constexpr int MostListed = 100; // a flood of forged members is no list
        if (m_unverified.size() < MostListed)
            m_unverified.insert(QStringLiteral("%1:%2 %3")
                                    .arg(QString::fromStdString(source.address))
                                    .arg(source.port)
                                    .arg(QString::fromStdString(report.name)));
        return false;
    }
    if (!m_settings.key->verify(
            block.bytes, report.signature->signedBytes, sequence, report.signature->tag)) {
        ++m_forgedRefused;
        return false;
    }
    return true;
}

void MeshMember::writeBlock(std::vector<std::uint8_t>& probe, quint32 sequence)
{
    m_report.heard = m_pager.nextPage(m_view, m_fit);
    ProbeBlock block;
    m_report.encode(block, m_runId, m_settings.key.has_value());
    if (!block.writeInto(probe))
        return;
    if (m_settings.key) {
        const std::size_t signedBytes = block.size() - ProbeBlock::CrcSize - MemberReport::TagSize;
        const QByteArray tag
            = m_settings.key->tag(probe.data() + ProbeBlock::Offset, signedBytes, sequence);
        block.replaceTail(reinterpret_cast<const std::uint8_t*>(tag.constData()), tag.size());
        block.writeInto(probe);
    }
}

void MeshMember::refreshOwnRow()
{
    const std::int64_t now = Tick::nowMs();
    const SourceTable& sources = m_receiver.sources();
    m_view.clear();
    m_report.ok = m_report.lost = m_report.stopped = 0;
    for (std::size_t index = 0; index < std::min(sources.size(), m_sourceMembers.size()); ++index) {
        const std::size_t member = m_sourceMembers[index];
        const Source& source = sources.at(index);
        if (member == MeshMatrix::NotCounted || m_matrix.at(member).port != source.port
            || m_matrix.at(member).address != source.address)
            continue; // a member's place taken by another source
        const PairState state = source.lost ? PairState::Lost
            : source.stopped                ? PairState::Stopped
                                            : PairState::Ok;
        ++(state == PairState::Ok          ? m_report.ok
                : state == PairState::Lost ? m_report.lost
                                           : m_report.stopped);
        m_matrix.at(member).stoppedOnPurpose = source.stopped;
        const RecentMarks::Counts recent = source.recent.counts();
        const auto ttl = std::uint8_t(std::max(0, source.receivedTtl));
        // A page tells the totals in 4 bytes each: they stop at the most those hold.
        const auto received = std::uint32_t(std::min<std::uint64_t>(source.totalReceived, ~0u));
        const auto missing = std::uint32_t(std::min<std::uint64_t>(source.totalMissed, ~0u));
        m_matrix.setCell(m_self, member,
            { state, std::uint8_t(recent.received), std::uint8_t(recent.missing), ttl, received,
                missing, now });
        m_view.push_back({ m_matrix.at(member).id, state, std::uint8_t(recent.received),
            std::uint8_t(recent.missing), received, missing, ttl });
    }
    const ProbeReceiver::QuerierState querier = m_receiver.querierState();
    m_report.queriersUnseen = !querier.visible;
    m_report.querier = {};
    if (querier.querier) {
        const Q_IPV6ADDR address = QuerierWatch::address(querier.querier->address).toIPv6Address();
        std::copy(address.c, address.c + 16, m_report.querier.begin());
    }
    KnownMember& self = m_matrix.at(m_self);
    m_matrix.heard(
        m_self, m_report, self.address, self.port, m_settings.sending.periodSeconds * 1000, now);
}

Event MeshMember::pairEvent(Event::Kind kind, std::size_t hearer, std::size_t heard) const
{
    const KnownMember& other = m_matrix.at(hearer == m_self ? heard : hearer);
    Event event;
    event.kind = kind;
    event.panel = name();
    event.source = QString::fromStdString(other.address);
    event.port = other.port;
    event.member = memberName(hearer);
    event.hears = memberName(heard);
    return event;
}

// Its row: the receiver's losses and recoveries of members, told as the pairs they are.
void MeshMember::tellReceiverEvent(Event event)
{
    if (event.kind == Event::Lost || event.kind == Event::Recovered) {
        const Source* source = m_receiver.sources().find(event.source.toStdString(), event.port);
        const std::size_t member = source ? memberOf(*source) : MeshMatrix::NotCounted;
        if (member != MeshMatrix::NotCounted) {
            Event pair = pairEvent(
                event.kind == Event::Lost ? Event::PairLost : Event::PairRecovered, m_self, member);
            pair.detail = tr("%1 hears %2: %3").arg(pair.member, pair.hears, event.detail);
            pair.missing = event.missing;
            pair.seconds = event.seconds;
            event = pair;
        }
    }
    emit eventOccurred(event);
}

// Its column: what the others report of it, lost before recovered.
void MeshMember::tellColumn(std::size_t row, PairState before)
{
    if (m_columnToldLost.size() < m_matrix.size())
        m_columnToldLost.resize(m_matrix.size(), false);
    const MeshCell& cell = m_matrix.cell(row, m_self);
    if (cell.state == before)
        return;
    if (cell.state == PairState::Lost && !m_columnToldLost[row]) {
        m_columnToldLost[row] = true;
        Event event = pairEvent(Event::PairLost, row, m_self);
        event.detail = tr("%1 hears %2: lost, %3 of the last %4 numbers missing, as %1 reports")
                           .arg(event.member, event.hears)
                           .arg(cell.recentMissing)
                           .arg(cell.recentReceived + cell.recentMissing);
        emit eventOccurred(event);
    } else if (cell.state == PairState::Ok && m_columnToldLost[row]) {
        m_columnToldLost[row] = false;
        Event event = pairEvent(Event::PairRecovered, row, m_self);
        event.detail = tr("%1 hears %2 again, as %1 reports").arg(event.member, event.hears);
        emit eventOccurred(event);
    }
}
