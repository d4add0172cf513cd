#pragma once

#include "core/Pacer.h"
#include "core/StreamProbes.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include <sys/socket.h>

// A stream's own thread, where the event loop cannot keep time: it sends the probes a Pacer
// makes due, in batches of one sendmmsg each, from prebuilt buffers. The socket stays its
// owner's; the thread only sends on it. What it sent is read from any thread.
class StreamSender {
public:
    static constexpr std::size_t BatchSize = 128;

    struct Sizes {
        std::uint32_t fixed; // every probe's, unless random
        bool random;
    };
    struct Totals {
        std::uint32_t lastSequence = 0;
        std::uint64_t sent = 0;
        std::uint64_t failures = 0;
        std::uint64_t late = 0; // sent behind schedule
        int lastError = 0; // of the last failed send
    };
    // Told after each batch, on the sending thread: when it left, on the monotonic clock,
    // and how many probes it held.
    using BatchObserver = std::function<void(std::int64_t nowNs, std::size_t count)>;

    StreamSender(int socket, const sockaddr_storage& to, socklen_t toLength, const Pacer& pacer,
        const StreamProbes::Timing& timing, Sizes sizes);
    // Stops silently when still running.
    ~StreamSender();

    void setBatchObserver(BatchObserver observer) { m_observer = std::move(observer); }
    void start();
    // A paused stream sends nothing, and when it resumes its schedule starts anew.
    void setPaused(bool paused);
    // Returns when the thread has ended; announced, its last message is the stopping one,
    // numbered next.
    void stop(bool announce);

    Totals totals() const;
    // The most a late probe was behind its time since the last call, 0 for none.
    std::int64_t takeWorstLagNs() { return m_worstLagNs.exchange(0, std::memory_order_relaxed); }

    static std::int64_t monotonicNs();

private:
    void run();
    // Sends the next count numbers from the first slots.
    void sendBatch(std::int8_t type, std::size_t count);
    std::uint32_t nextSize();
    void publishLag(std::int64_t lagNs);

    const int m_socket;
    sockaddr_storage m_to;
    const socklen_t m_toLength;
    Pacer m_pacer;
    StreamProbes m_probes;
    const Sizes m_sizes;
    std::minstd_rand m_randomSizes; // unseeded: every run draws the same sizes
    mmsghdr m_messages[BatchSize] {};
    iovec m_vectors[BatchSize] {};
    std::uint32_t m_sequence = 0; // the sending thread's
    BatchObserver m_observer;

    std::thread m_thread;
    std::mutex m_mutex; // guards the flags below, so that a wait never misses a change
    std::condition_variable m_wake;
    std::atomic<bool> m_stopping { false };
    bool m_paused = false;
    bool m_announce = false;

    std::atomic<std::uint32_t> m_lastSequence { 0 };
    std::atomic<std::uint64_t> m_sent { 0 };
    std::atomic<std::uint64_t> m_failures { 0 };
    std::atomic<std::uint64_t> m_late { 0 };
    std::atomic<int> m_lastError { 0 };
    std::atomic<std::int64_t> m_worstLagNs { 0 };
};
