// A mesh of N forged members against one member of the real program, run headless: each
// forged member sends from an address of its own on loopback, a probe a second with a full
// block (its view of every other member, paged as members page it). Prints the member's CPU
// and memory against an idle member's, how long its whole view takes to be told, and how
// long a fault takes to be told: of a pair it is part of (a member it hears falls silent;
// a member reports it lost) and of a pair of two others. Run it through bench/run.
//   bench_mesh <lumivox-tool> [N...]   (10, 100 and 1000 unless given)

#include "bench/JoinedSocket.h"
#include "core/MeshPager.h"
#include "mesh/MeshKey.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const Group = "234.5.9.9";
constexpr std::uint16_t Port = 8960;
constexpr std::uint16_t MetricsPort = 9790;
constexpr std::size_t Size = 1000; // the default, as members send

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The program as a headless member, its JSON lines read as they come.
class Observer {
public:
    Observer(const char* program, const char* keyFile, bool window)
    {
        int out[2];
        if (::pipe(out) != 0)
            std::abort();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            const std::string group = std::string(Group) + ':' + std::to_string(Port);
            const std::string metrics = "127.0.0.1:" + std::to_string(MetricsPort);
            std::vector<const char*> arguments { program, "--mesh", group.c_str(), "--name",
                "observer", "--metrics", metrics.c_str(), "--max-members", "2000" };
            if (!window)
                arguments.insert(arguments.begin() + 1, { "--headless", "--json" });
            if (keyFile) {
                arguments.push_back("--mesh-key");
                arguments.push_back(keyFile);
            }
            arguments.push_back(nullptr);
            ::execv(program, const_cast<char* const*>(arguments.data()));
            std::_Exit(127);
        }
        ::close(out[1]);
        m_out = out[0];
        ::fcntl(m_out, F_SETFL, O_NONBLOCK);
    }
    // Its final rows and summary read to the end, so that it never waits on a full pipe.
    ~Observer()
    {
        ::kill(m_pid, SIGTERM);
        ::fcntl(m_out, F_SETFL, 0);
        char chunk[65536];
        while (::read(m_out, chunk, sizeof chunk) > 0) { }
        ::waitpid(m_pid, nullptr, 0);
        ::close(m_out);
    }
    int fd() const { return m_out; }
    // The events that came since the last call.
    std::vector<QJsonObject> read()
    {
        char chunk[65536];
        ssize_t got;
        while ((got = ::read(m_out, chunk, sizeof chunk)) > 0)
            m_pending.append(chunk, std::size_t(got));
        std::vector<QJsonObject> events;
        for (std::size_t end; (end = m_pending.find('\n')) != std::string::npos;) {
            const QJsonObject line
                = QJsonDocument::fromJson(QByteArray(m_pending.data(), qsizetype(end))).object();
            m_pending.erase(0, end + 1);
            if (line.contains("event"))
                events.push_back(line);
        }
        return events;
    }
    double cpuSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(m_pid) + "/stat");
        std::string field;
        double ticks = 0;
        for (int i = 1; i <= 15 && stat >> field; ++i)
            ticks += (i == 14 || i == 15) ? std::stod(field) : 0;
        return ticks / double(::sysconf(_SC_CLK_TCK));
    }
    double residentMb() const
    {
        std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmRSS:", 0) == 0)
                return std::stod(line.substr(6)) / 1024;
        }
        return 0;
    }

private:
    pid_t m_pid = 0;
    int m_out = -1;
    std::string m_pending;
};

struct Forged {
    int fd = -1;
    std::uint64_t id = 0;
    std::uint64_t runId = 0;
    std::string name;
    std::uint32_t sequence = 0;
    MeshPager pager;
    std::vector<HeardEntry> view;
    bool silent = false;
};

// One mesh, its forged members sending and the observer's probes and events read, until
// done() says so or the time runs out; the seconds it took, or none.
class Mesh {
public:
    Mesh(const char* program, int members, const std::optional<MeshKey>& key, const char* keyFile,
        bool window)
        : m_key(key)
        , m_observer(program, keyFile, window)
    {
        m_listener = joinedSocket(Group, Port);
        ::fcntl(m_listener, F_SETFL, O_NONBLOCK);
        for (int i = 0; i < members; ++i) {
            Forged member;
            member.fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in local {};
            local.sin_family = AF_INET;
            local.sin_addr.s_addr = htonl(0x7f010000u + std::uint32_t(i) + 1); // 127.1.x.y
            ::bind(member.fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
            const int ttl = 16;
            ::setsockopt(member.fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
            member.id = QRandomGenerator::global()->generate64();
            member.runId = QRandomGenerator::global()->generate64();
            member.name = "sim-" + std::to_string(i);
            m_members.push_back(std::move(member));
        }
        m_start = Clock::now();
    }
    ~Mesh()
    {
        for (const Forged& member : m_members)
            ::close(member.fd);
        ::close(m_listener);
    }
    Observer& observer() { return m_observer; }
    std::vector<Forged>& members() { return m_members; }
    std::uint64_t observerId() const { return m_observerId; }
    int observerHears() const { return m_observerHears; }
    const std::set<std::uint64_t>& toldSinceMark() const { return m_told; }
    void markTold() { m_told.clear(); }

    template <class Done> std::optional<double> runUntil(Done done, double seconds)
    {
        const auto start = Clock::now();
        while (secondsSince(start) < seconds) {
            for (const QJsonObject& event : m_observer.read()) {
                if (done(&event))
                    return secondsSince(start);
            }
            if (done(nullptr))
                return secondsSince(start);
            sendDue();
            readProbes();
            pollfd waiting[] = { { m_listener, POLLIN, 0 }, { m_observer.fd(), POLLIN, 0 } };
            ::poll(waiting, 2, 1);
        }
        return std::nullopt;
    }

private:
    // Member i sends at i/N of each second.
    void sendDue()
    {
        const double now = secondsSince(m_start);
        const auto count = double(m_members.size());
        for (; m_next < now * count; ++m_next) {
            Forged& member = m_members[std::size_t(m_next % long(m_members.size()))];
            if (!member.silent && m_observerId)
                send(member);
        }
    }
    void send(Forged& member)
    {
        if (member.view.empty()) {
            for (const Forged& other : m_members) {
                if (other.id != member.id)
                    member.view.push_back({ other.id, PairState::Ok, 60, 0, 1000, 0, 16 });
            }
            member.view.push_back({ m_observerId, PairState::Ok, 60, 0, 1000, 0, 16 });
        }
        MemberReport report;
        report.id = member.id;
        report.name = member.name;
        report.ttl = 16;
        report.querier[15] = 1;
        for (const HeardEntry& entry : member.view)
            ++(entry.state == PairState::Ok ? report.ok : report.lost);
        const bool signed_ = m_key.has_value();
        report.heard = member.pager.nextPage(
            member.view, MemberReport::entriesThatFit(Size, member.name.size(), signed_));
        ProbeBlock block;
        report.encode(block, member.runId, signed_);
        const std::uint32_t sequence = ++member.sequence;
        auto probe = ProbePacket { ProbePacket::TypeProbe, sequence, 1 }.build(Size);
        block.writeInto(probe);
        if (signed_) {
            const std::size_t covered = block.size() - ProbeBlock::CrcSize - MemberReport::TagSize;
            const QByteArray tag = m_key->tag(probe.data() + ProbeBlock::Offset, covered, sequence);
            block.replaceTail(reinterpret_cast<const std::uint8_t*>(tag.constData()), tag.size());
            block.writeInto(probe);
        }
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons(Port);
        inet_pton(AF_INET, Group, &to.sin_addr);
        ::sendto(
            member.fd, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    // The observer's own probes: its id, and the members its pages told.
    void readProbes()
    {
        std::uint8_t datagram[2048];
        sockaddr_in from {};
        socklen_t fromLength = sizeof from;
        ssize_t got;
        while ((got = ::recvfrom(m_listener, datagram, sizeof datagram, 0,
                    reinterpret_cast<sockaddr*>(&from), &fromLength))
            > 0) {
            if ((ntohl(from.sin_addr.s_addr) & 0xffff0000u) == 0x7f010000u)
                continue; // a forged member's
            const auto report = MemberReport::decode(ProbeBlock::read(datagram, std::size_t(got)));
            if (!report)
                continue;
            m_observerId = report->id;
            m_observerHears = report->ok;
            for (const HeardEntry& entry : report->heard)
                m_told.insert(entry.id);
        }
    }

    std::optional<MeshKey> m_key;
    Observer m_observer;
    int m_listener = -1;
    std::vector<Forged> m_members;
    Clock::time_point m_start;
    long m_next = 0;
    std::uint64_t m_observerId = 0;
    int m_observerHears = 0;
    std::set<std::uint64_t> m_told;
};

struct Figures {
    double cpuPercent = 0;
    double residentMb = 0;
    std::optional<double> wholeView, rowFault, columnFault, thirdFault;
};

QString text(const QJsonObject& event, const char* key) { return event.value(key).toString(); }

Figures measure(const char* program, int members, const std::optional<MeshKey>& key,
    const char* keyFile, bool window = false)
{
    Figures figures;
    Mesh mesh(program, members, key, keyFile, window);
    Observer& observer = mesh.observer();
    // Warm: the observer's own probes say it hears every forged member.
    mesh.runUntil(
        [&](const QJsonObject*) { return mesh.observerId() && mesh.observerHears() >= members; },
        60);
    mesh.runUntil([](const QJsonObject*) { return false; }, 4); // three periods and a tick
    // Ten seconds of CPU, and the whole view told meanwhile or after.
    mesh.markTold();
    const double cpuBefore = observer.cpuSeconds();
    const auto cpuStart = Clock::now();
    std::optional<double> viewAt;
    const auto start = Clock::now();
    mesh.runUntil(
        [&](const QJsonObject*) {
            if (!viewAt && mesh.toldSinceMark().size() >= std::size_t(members))
                viewAt = secondsSince(start);
            return secondsSince(cpuStart) >= 10 && viewAt;
        },
        60);
    figures.cpuPercent = 100 * (observer.cpuSeconds() - cpuBefore) / secondsSince(cpuStart);
    figures.residentMb = observer.residentMb();
    figures.wholeView = viewAt;
    if (members < 4 || window)
        return figures; // the window tells its events in its log, not on standard output
    auto& forged = mesh.members();
    // A member it hears falls silent: told by the loss rules.
    forged[0].silent = true;
    figures.rowFault = mesh.runUntil(
        [&](const QJsonObject* event) {
            return event && text(*event, "event") == "pair_lost"
                && text(*event, "hears") == QString::fromStdString(forged[0].name);
        },
        30);
    // A member reports it lost: told at that member's next probe.
    forged[1].view.back().state = PairState::Lost;
    figures.columnFault = mesh.runUntil(
        [&](const QJsonObject* event) {
            return event && text(*event, "event") == "pair_lost"
                && text(*event, "member") == QString::fromStdString(forged[1].name);
        },
        30);
    // A member reports another lost: the observer is a third member.
    forged[2].view[2].state = PairState::Lost;
    figures.thirdFault = mesh.runUntil(
        [&](const QJsonObject* event) {
            return event && text(*event, "event") == "member_changed"
                && text(*event, "member") == QString::fromStdString(forged[2].name)
                && text(*event, "detail").contains(" 1 lost");
        },
        30);
    return figures;
}

QString seconds(const std::optional<double>& value)
{
    return value ? QString::number(*value, 'f', 2) : QStringLiteral("-");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_mesh <lumivox-tool> [N...]\n");
        return 2;
    }
    std::vector<int> sizes { 0 };
    for (int i = 2; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.size() == 1)
        sizes.insert(sizes.end(), { 10, 100, 1000 });
    const QByteArray secret = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f"
                                                  "101112131415161718191a1b1c1d1e1f");
    char keyFile[] = "/tmp/bench_mesh_keyXXXXXX";
    const int keyFd = ::mkstemp(keyFile);
    if (keyFd < 0 || ::write(keyFd, secret.constData(), std::size_t(secret.size())) != 32)
        return 1;
    ::close(keyFd);
    std::printf("A member of the real program against N forged members, a probe a second "
                "each, %zu bytes\n",
        Size);
    std::printf("%6s %7s %7s %8s %9s %8s %8s %8s %8s\n", "N", "signed", "CPU%", "RSS-MB",
        "+idle-MB", "view-s", "row-s", "column-s", "third-s");
    for (const bool signed_ : { false, true }) {
        const std::optional<MeshKey> key
            = signed_ ? std::optional<MeshKey>(MeshKey(secret)) : std::nullopt;
        const char* file = signed_ ? keyFile : nullptr;
        const Figures idle = measure(argv[1], 0, key, file);
        for (const int members : sizes) {
            const Figures figures = members ? measure(argv[1], members, key, file) : idle;
            std::printf("%6d %7s %7.2f %8.1f %9.1f %8s %8s %8s %8s\n", members,
                signed_ ? "yes" : "no", figures.cpuPercent, figures.residentMb,
                figures.residentMb - idle.residentMb, qPrintable(seconds(figures.wholeView)),
                qPrintable(seconds(figures.rowFault)), qPrintable(seconds(figures.columnFault)),
                qPrintable(seconds(figures.thirdFault)));
            std::fflush(stdout);
        }
    }
    // The window: idle with a mesh of the most members against one alone, as a panel shows it.
    const Figures alone = measure(argv[1], 0, std::nullopt, nullptr, true);
    const Figures full = measure(argv[1], sizes.back(), std::nullopt, nullptr, true);
    std::printf("the window with a Mesh panel: %.2f %% of a core alone, %.2f %% with %d members "
                "(x%.1f), %.1f MB more\n",
        alone.cpuPercent, full.cpuPercent, sizes.back(), full.cpuPercent / alone.cpuPercent,
        full.residentMb - alone.residentMb);
    ::unlink(keyFile);
    return 0;
}
