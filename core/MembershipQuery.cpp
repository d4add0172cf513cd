#include "core/MembershipQuery.h"

#include <algorithm>

namespace {

constexpr std::uint8_t IgmpProtocol = 2;
constexpr std::uint8_t IgmpQuery = 0x11;
constexpr std::uint8_t MldQuery = 130;
constexpr std::uint8_t RouterAlertOption = 0x94;
constexpr std::uint8_t HopByHopRouterAlert = 5;
constexpr std::size_t IgmpV2Length = 8;
constexpr std::size_t IgmpV3Length = 12;
constexpr std::size_t MldV1Length = 24;
constexpr std::size_t MldV2Length = 28;

std::uint16_t word(const std::uint8_t* at) { return std::uint16_t((at[0] << 8) | at[1]); }

// A code of IGMPv3 and MLDv2: the value itself below 128, else a mantissa and an exponent.
std::uint32_t decoded(std::uint32_t code, int mantissaBits)
{
    const std::uint32_t limit = 1u << (mantissaBits + 3);
    if (code < limit)
        return code;
    const std::uint32_t mantissa = code & ((1u << mantissaBits) - 1);
    const std::uint32_t exponent = (code >> mantissaBits) & 7;
    return (mantissa | (1u << mantissaBits)) << (exponent + 3);
}

// The Internet checksum of the bytes: 0 where it is right.
std::uint16_t checksum(const std::uint8_t* bytes, std::size_t length)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        sum += word(bytes + i);
    if (length % 2)
        sum += std::uint32_t(bytes[length - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return std::uint16_t(~sum);
}

bool hasRouterAlert(const std::uint8_t* options, std::size_t length)
{
    for (std::size_t at = 0; at < length;) {
        const std::uint8_t type = options[at];
        if (type == 0) // end of the options
            return false;
        if (type == 1) { // no operation
            ++at;
            continue;
        }
        if (at + 1 >= length || options[at + 1] < 2)
            return false;
        if (type == RouterAlertOption)
            return true;
        at += options[at + 1];
    }
    return false;
}

} // namespace

bool MembershipQuery::hasHopByHopRouterAlert(const std::uint8_t* header, std::size_t length)
{
    if (length < 2)
        return false;
    // The header says how long it is, in units of 8 bytes after the first 8.
    const std::size_t end = std::min<std::size_t>(length, 8u * (header[1] + 1u));
    for (std::size_t at = 2; at < end;) {
        if (header[at] == 0) { // one byte of padding
            ++at;
            continue;
        }
        if (at + 1 >= end)
            return false;
        if (header[at] == HopByHopRouterAlert)
            return true;
        at += 2 + header[at + 1];
    }
    return false;
}

std::uint32_t MembershipQuery::otherQuerierPresentMs() const
{
    return robustness * intervalSeconds * 1000 + maxResponseMs / 2;
}

bool MembershipQuery::isIgmpQuery(const std::uint8_t* packet, std::size_t length)
{
    const std::size_t headerLength = length ? std::size_t(packet[0] & 0x0f) * 4 : 0;
    return length > headerLength && packet[headerLength] == IgmpQuery;
}

std::optional<MembershipQuery> MembershipQuery::parseIgmp(
    const std::uint8_t* packet, std::size_t length)
{
    if (length < 20 || (packet[0] >> 4) != 4)
        return std::nullopt;
    const std::size_t headerLength = std::size_t(packet[0] & 0x0f) * 4;
    const std::size_t totalLength = word(packet + 2);
    if (headerLength < 20 || totalLength < headerLength + IgmpV2Length || totalLength > length
        || packet[9] != IgmpProtocol || packet[8] != 1)
        return std::nullopt;
    const std::uint8_t* igmp = packet + headerLength;
    const std::size_t igmpLength = totalLength - headerLength;
    if (igmp[0] != IgmpQuery || checksum(igmp, igmpLength) != 0)
        return std::nullopt;
    MembershipQuery query;
    query.general = igmp[4] == 0 && igmp[5] == 0 && igmp[6] == 0 && igmp[7] == 0;
    if (igmpLength == IgmpV2Length) {
        query.version = igmp[1] == 0 ? 1 : 2;
        if (query.version == 2)
            query.maxResponseMs = igmp[1] * 100u;
    } else if (igmpLength >= IgmpV3Length
        && igmpLength >= IgmpV3Length + 4 * std::size_t(word(igmp + 10))) {
        query.version = 3;
        query.maxResponseMs = decoded(igmp[1], 4) * 100;
        if (igmp[8] & 7)
            query.robustness = igmp[8] & 7;
        if (igmp[9])
            query.intervalSeconds = decoded(igmp[9], 4);
    } else {
        return std::nullopt;
    }
    // IGMPv1 knew no Router Alert; the later versions send it with every query.
    if (query.version > 1 && !hasRouterAlert(packet + 20, headerLength - 20))
        return std::nullopt;
    return query;
}

std::optional<MembershipQuery> MembershipQuery::parseMld(
    const std::uint8_t* message, std::size_t length, int hopLimit, bool routerAlert)
{
    if (length < MldV1Length || message[0] != MldQuery || message[1] != 0 || hopLimit != 1
        || !routerAlert)
        return std::nullopt;
    MembershipQuery query;
    query.ipv6 = true;
    query.general = true;
    for (std::size_t at = 8; at < 24; ++at)
        query.general = query.general && message[at] == 0;
    if (length == MldV1Length) {
        query.version = 1;
        query.maxResponseMs = word(message + 4);
    } else if (length >= MldV2Length
        && length >= MldV2Length + 16 * std::size_t(word(message + 26))) {
        query.version = 2;
        query.maxResponseMs = decoded(word(message + 4), 12);
        if (message[24] & 7)
            query.robustness = message[24] & 7;
        if (message[25])
            query.intervalSeconds = decoded(message[25], 4);
    } else {
        return std::nullopt;
    }
    return query;
}
