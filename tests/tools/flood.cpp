// Floods a receiver for a bounded time with everything a hostile or broken network can
// send: valid probes from thousands of source ports (each sender repeating some of its
// numbers), foreign datagrams, empty datagrams and 65507-byte datagrams.
//   flood <address> <port> <senders> <seconds>
// It prints one line per valid sender, "sender <port> <last sequence> <duplicates>", then
// "sent <valid> <foreign> <empty> <large>". It keeps to what the receiver's queue holds,
// and gives up after ten times the seconds asked for.

#include "probe/CProbePacket.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <random>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint32_t NUMBERS = 4; // each sender sends 1 to 4
constexpr int BATCH = 64; // datagrams between pauses

sockaddr_in target;

int openSocket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int loop = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    return fd;
}

std::uint16_t portOf(int fd)
{
    sockaddr_in local {};
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

// Bytes waiting in the receive queues of the sockets bound to the port on this host, as
// the kernel counts them.
long queuedBytes(unsigned port)
{
    FILE* table = std::fopen("/proc/net/udp", "r");
    if (!table)
        return 0;
    char line[512];
    long queued = 0;
    std::fgets(line, sizeof line, table);
    while (std::fgets(line, sizeof line, table)) {
        unsigned localPort = 0;
        unsigned long txQueue = 0, rxQueue = 0;
        if (std::sscanf(line, "%*d: %*x:%x %*x:%*x %*x %lx:%lx", &localPort, &txQueue, &rxQueue)
                == 3
            && localPort == port)
            queued += long(rxQueue);
    }
    std::fclose(table);
    return queued;
}

bool send(int fd, const void* bytes, std::size_t length)
{
    return ::sendto(fd, bytes, length, 0, reinterpret_cast<const sockaddr*>(&target), sizeof target)
        == ssize_t(length);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: flood <address> <port> <senders> <seconds>\n");
        return 2;
    }
    target.sin_family = AF_INET;
    target.sin_port = htons(std::uint16_t(std::atoi(argv[2])));
    if (inet_pton(AF_INET, argv[1], &target.sin_addr) != 1)
        return 2;
    const int senders = std::atoi(argv[3]);
    const double seconds = std::atof(argv[4]);

    // Every sender is a socket of its own, so a port of its own.
    rlimit files {};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    std::vector<int> sockets;
    for (int i = 0; i < senders; ++i)
        sockets.push_back(openSocket());

    std::mt19937 random(7);
    std::vector<std::uint8_t> foreign(1200);
    std::vector<std::uint8_t> large(65507, 0x5a);
    long valid = 0, other = 0, empty = 0, big = 0;
    std::vector<int> dups(std::size_t(senders), 0);
    const auto start = std::chrono::steady_clock::now();
    const double pause = seconds / double(std::max(1, senders * int(NUMBERS + 1) / BATCH));
    int sent = 0;
    const unsigned port = ntohs(target.sin_port);
    const auto deadline = start + std::chrono::duration<double>(seconds * 10);
    // Never more than the receiver's queue holds, however slow it is (an instrumented
    // build is many times slower), so that every count can be checked exactly; and
    // never past the deadline.
    auto waitForRoom = [&](long room) {
        while (queuedBytes(port) > room && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    };
    auto breathe = [&] {
        if (++sent % BATCH == 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(pause * 0.8));
            waitForRoom(32 * 1024);
        }
    };
    for (std::uint32_t number = 1; number <= NUMBERS; ++number) {
        for (int i = 0; i < senders; ++i) {
            CProbePacket probe(1, number, 1 + std::uint32_t(i % 60), 43 + std::uint32_t(i % 200));
            valid += send(sockets[std::size_t(i)], probe.Build(), probe.GetSize());
            breathe();
            // Senders repeat one number in three: 0, 1 or 2 extra copies.
            if (number == 2) {
                for (int copy = 0; copy < i % 3; ++copy) {
                    valid += send(sockets[std::size_t(i)], probe.Build(), probe.GetSize());
                    ++dups[std::size_t(i)];
                    breathe();
                }
            }
            if (i % 7 == 0) {
                for (auto& byte : foreign)
                    byte = std::uint8_t(random());
                other
                    += send(sockets[std::size_t(i)], foreign.data(), std::size_t(random() % 1200));
                breathe();
            }
            if (i % 97 == 0) {
                empty += send(sockets[std::size_t(i)], nullptr, 0);
                breathe();
            }
            if (i % 211 == 0) {
                waitForRoom(0);
                big += send(sockets[std::size_t(i)], large.data(), large.size());
            }
        }
    }
    for (int i = 0; i < senders; ++i)
        std::printf(
            "sender %u %u %d\n", portOf(sockets[std::size_t(i)]), NUMBERS, dups[std::size_t(i)]);
    std::printf("sent %ld %ld %ld %ld in %.1f s\n", valid, other, empty, big,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    for (int fd : sockets)
        ::close(fd);
    return 0;
}
