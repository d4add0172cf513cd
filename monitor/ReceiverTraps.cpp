#include "monitor/ReceiverTraps.h"

#include "net/ProbeReceiver.h"

ReceiverTraps::ReceiverTraps(const ProbeReceiver& receiver, QObject* parent)
    : QObject(parent)
    , m_receiver(receiver)
{
    connect(&receiver, &ProbeReceiver::eventOccurred, this, &ReceiverTraps::follow);
}

ReceiverTraps::~ReceiverTraps() = default;

void ReceiverTraps::setDestination(const QString& destination, const QString& community)
{
    if (destination.isEmpty()) {
        m_sender.reset();
        return;
    }
    if (!m_sender) {
        m_sender = std::make_unique<TrapSender>();
        connect(m_sender.get(), &TrapSender::failed, this, [this](const QString& why) {
            qWarning("lumivox-tool: %s", qPrintable(why));
            emit eventOccurred(Event::withDetail(Event::Warning, m_receiver.name(), why));
        });
    }
    m_sender->setDestination(destination, community);
}

void ReceiverTraps::sendTest(const Endpoint& receiver)
{
    if (!m_sender)
        return;
    m_sender->send(TrapSender::Kind::Test, receiver);
    emit eventOccurred(Event::withDetail(
        Event::Trap, receiver.toString(), tr("Test trap sent to %1").arg(m_sender->destination())));
}

void ReceiverTraps::follow(const Event& event)
{
    if (!m_sender || (event.kind != Event::Lost && event.kind != Event::Recovered))
        return;
    m_sender->send(event.kind == Event::Lost ? TrapSender::Kind::SourceLost
                                             : TrapSender::Kind::SourceRecovered,
        m_receiver.settings().where,
        m_receiver.sources().find(event.source.toStdString(), event.port));
}
