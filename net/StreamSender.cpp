#include "net/StreamSender.h"

#include "core/Defaults.h"
#include "core/ProbePacket.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>

namespace {

std::int64_t realtimeNs()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Errors the kernel queued for the socket (IP_RECVERR) are read and let go: the send that
// caused each was counted when it failed, and a full queue would hold the socket's memory.
void drainErrorQueue(int socket)
{
    char data[64];
    char control[512];
    iovec vector { data, sizeof data };
    msghdr message {};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    do {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
    } while (recvmsg(socket, &message, MSG_ERRQUEUE | MSG_DONTWAIT) >= 0);
}

} // namespace

StreamSender::StreamSender(int socket, const sockaddr_storage& to, socklen_t toLength,
    const Pacer& pacer, const StreamProbes::Timing& timing, Sizes sizes)
    : m_socket(socket)
    , m_to(to)
    , m_toLength(toLength)
    , m_pacer(pacer)
    , m_probes(BatchSize, sizes.random ? Limits::randomSize.max : sizes.fixed, timing)
    , m_sizes(sizes)
{
    // The thread waits for room in the send buffer rather than find it full.
    fcntl(m_socket, F_SETFL, fcntl(m_socket, F_GETFL) & ~O_NONBLOCK);
    for (std::size_t i = 0; i < BatchSize; ++i) {
        m_messages[i].msg_hdr.msg_name = &m_to;
        m_messages[i].msg_hdr.msg_namelen = m_toLength;
        m_messages[i].msg_hdr.msg_iov = &m_vectors[i];
        m_messages[i].msg_hdr.msg_iovlen = 1;
    }
}

StreamSender::~StreamSender() { stop(false); }

std::int64_t StreamSender::monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void StreamSender::start() { m_thread = std::thread(&StreamSender::run, this); }

void StreamSender::setPaused(bool paused)
{
    const std::lock_guard lock(m_mutex);
    m_paused = paused;
    m_wake.notify_one();
}

void StreamSender::stop(bool announce)
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_announce = announce;
        m_wake.notify_one();
    }
    m_thread.join();
}

StreamSender::Totals StreamSender::totals() const
{
    Totals totals;
    totals.lastSequence = m_lastSequence.load(std::memory_order_relaxed);
    totals.sent = m_sent.load(std::memory_order_relaxed);
    totals.failures = m_failures.load(std::memory_order_relaxed);
    totals.late = m_late.load(std::memory_order_relaxed);
    totals.lastError = m_lastError.load(std::memory_order_relaxed);
    return totals;
}

void StreamSender::run()
{
    pthread_setname_np(pthread_self(), "lumivox-stream");
    // Signals are the main thread's: none cuts a send of this one short.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    // Woken within microseconds of the time asked, not the 50 µs a thread may be late by.
    prctl(PR_SET_TIMERSLACK, 1UL);
    std::unique_lock lock(m_mutex);
    m_pacer.startAt(monotonicNs());
    while (!m_stopping) {
        if (m_paused) {
            m_wake.wait(lock, [this] { return m_stopping || !m_paused; });
            m_pacer.startAt(monotonicNs());
            continue;
        }
        const std::int64_t now = monotonicNs();
        const std::uint64_t owed = m_pacer.due(now);
        if (!owed) {
            m_wake.wait_until(lock,
                std::chrono::steady_clock::time_point(
                    std::chrono::nanoseconds(m_pacer.nextDueNs())));
            continue;
        }
        // Behind, the thread sends batch after batch without waiting until it has caught up.
        lock.unlock();
        const std::size_t count = std::size_t(std::min<std::uint64_t>(owed, BatchSize));
        sendBatch(ProbePacket::TypeProbe, count);
        m_pacer.sent(count, now);
        m_late.store(m_pacer.lateProbes(), std::memory_order_relaxed);
        publishLag(m_pacer.takeWorstLagNs());
        if (m_observer)
            m_observer(now, count);
        lock.lock();
    }
    if (m_announce)
        sendBatch(ProbePacket::TypeStopping, 1);
}

std::uint32_t StreamSender::nextSize()
{
    if (!m_sizes.random)
        return m_sizes.fixed;
    const auto [least, most] = Limits::randomSize;
    return least + std::uint32_t(m_randomSizes() % (most - least + 1));
}

void StreamSender::sendBatch(std::int8_t type, std::size_t count)
{
    const std::int64_t sentAt = realtimeNs();
    for (std::size_t i = 0; i < count; ++i) {
        m_vectors[i].iov_base = m_probes.stamp(i, type, ++m_sequence, sentAt);
        m_vectors[i].iov_len = nextSize();
    }
    // A message the kernel refuses is counted failed and not tried again: its number is used
    // up, so that receivers see the gap. The socket blocks, so a full send buffer is waited
    // for, and a batch cut short ends at a message refused; the system does not say why.
    std::size_t done = 0;
    std::size_t failed = 0;
    while (done < count) {
        const int sent = sendmmsg(m_socket, m_messages + done, unsigned(count - done), 0);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            m_lastError.store(errno, std::memory_order_relaxed);
        } else {
            done += std::size_t(sent);
            if (done == count)
                break;
        }
        drainErrorQueue(m_socket);
        ++failed;
        ++done;
    }
    m_lastSequence.store(m_sequence, std::memory_order_relaxed);
    m_sent.fetch_add(count - failed, std::memory_order_relaxed);
    m_failures.fetch_add(failed, std::memory_order_relaxed);
}

void StreamSender::publishLag(std::int64_t lagNs)
{
    std::int64_t seen = m_worstLagNs.load(std::memory_order_relaxed);
    while (lagNs > seen
        && !m_worstLagNs.compare_exchange_weak(seen, lagNs, std::memory_order_relaxed)) { }
}
