#include "serverquery/a2sprotocol.h"

#include <QtEndian>
#include <algorithm>

#include "serverquery/bytereader.h"
#include "serverquery/servertext.h"

namespace tamarin {

namespace {

constexpr quint32 kSinglePacket = 0xFFFFFFFF;
constexpr quint32 kSplitPacket = 0xFFFFFFFE;
constexpr quint32 kCompressedFlag = 0x80000000;
// The request text includes its terminating NUL.
constexpr QByteArrayView kInfoRequest("\xFF\xFF\xFF\xFFTSource Engine Query\0", 25);
constexpr QByteArrayView kPlayerRequest("\xFF\xFF\xFF\xFFU", 5);
constexpr QByteArrayView kReplyHeader("\xFF\xFF\xFF\xFF", 4);

std::optional<QString> readText(ByteReader& reader) {
    const std::optional<QByteArrayView> bytes = reader.readCString();
    if (!bytes) {
        return std::nullopt;
    }
    return decodeServerText(*bytes);
}

A2sReply parseChallenge(ByteReader& reader) {
    const std::optional<quint32> challenge = reader.readU32();
    if (!challenge) {
        return {};
    }
    return A2sChallenge{*challenge};
}

// Source layout: protocol, name, map, folder, game, app id, players, max players, and more that
// is not shown.
A2sReply parseSourceInfo(ByteReader& reader) {
    if (!reader.skip(1)) {
        return {};
    }
    const std::optional<QString> name = readText(reader);
    const std::optional<QString> map = name ? readText(reader) : std::nullopt;
    const bool skipped = map && reader.readCString() && reader.readCString() && reader.skip(2);
    const std::optional<quint8> players = skipped ? reader.readU8() : std::nullopt;
    const std::optional<quint8> maxPlayers = players ? reader.readU8() : std::nullopt;
    if (!maxPlayers) {
        return {};
    }
    return A2sInfo{*name, *map, *players, *maxPlayers};
}

// GoldSrc layout: address, name, map, folder, game, players, max players, and more.
A2sReply parseGoldSrcInfo(ByteReader& reader) {
    if (!reader.readCString()) {
        return {};
    }
    const std::optional<QString> name = readText(reader);
    const std::optional<QString> map = name ? readText(reader) : std::nullopt;
    const bool skipped = map && reader.readCString() && reader.readCString();
    const std::optional<quint8> players = skipped ? reader.readU8() : std::nullopt;
    const std::optional<quint8> maxPlayers = players ? reader.readU8() : std::nullopt;
    if (!maxPlayers) {
        return {};
    }
    return A2sInfo{*name, *map, *players, *maxPlayers};
}

// One record: index, name, score (kills), seconds connected.
std::optional<PlayerRow> readPlayer(ByteReader& reader) {
    if (!reader.skip(1)) {
        return std::nullopt;
    }
    const std::optional<QString> name = readText(reader);
    const std::optional<qint32> score = name ? reader.readI32() : std::nullopt;
    if (!score || !reader.readF32()) {
        return std::nullopt;
    }
    return PlayerRow{*name, *score, 0};
}

A2sReply parsePlayers(ByteReader& reader) {
    const std::optional<quint8> count = reader.readU8();
    if (!count) {
        return {};
    }
    A2sPlayers players;
    for (int i = 0; i < *count; ++i) {
        const std::optional<PlayerRow> row = readPlayer(reader);
        if (!row) {
            break;
        }
        players.rows.append(*row);
    }
    return players;
}

// How one split fragment is laid out; which one a reply uses is told by its first fragment.
enum class SplitLayout { Source, GoldSrc };

struct Fragment {
    int total = 0;
    int number = 0;
    QByteArrayView payload;
};

constexpr qsizetype kSplitIdEnd = 8;
constexpr qsizetype kSourcePayloadStart = 12;
constexpr qsizetype kGoldSrcPayloadStart = 9;

bool startsReply(QByteArrayView fragment, qsizetype payloadStart) {
    return fragment.size() >= payloadStart + kReplyHeader.size() &&
           fragment.sliced(payloadStart).startsWith(kReplyHeader);
}

std::optional<SplitLayout> layoutOfFirstFragment(QByteArrayView fragment) {
    if (fragment.size() <= kSplitIdEnd) {
        return std::nullopt;
    }
    const quint8 packet = quint8(fragment[kSplitIdEnd]);
    if (startsReply(fragment, kSourcePayloadStart) && fragment[kSplitIdEnd + 1] == 0) {
        return SplitLayout::Source;
    }
    if (startsReply(fragment, kGoldSrcPayloadStart) && (packet >> 4) == 0) {
        return SplitLayout::GoldSrc;
    }
    return std::nullopt;
}

std::optional<Fragment> readFragment(QByteArrayView raw, SplitLayout layout) {
    Fragment fragment;
    if (layout == SplitLayout::Source) {
        if (raw.size() < kSourcePayloadStart) {
            return std::nullopt;
        }
        fragment = {quint8(raw[8]), quint8(raw[9]), raw.sliced(kSourcePayloadStart)};
    } else {
        if (raw.size() < kGoldSrcPayloadStart) {
            return std::nullopt;
        }
        const quint8 packet = quint8(raw[8]);
        fragment = {packet & 0x0F, packet >> 4, raw.sliced(kGoldSrcPayloadStart)};
    }
    const bool sane = fragment.total >= 1 && fragment.total <= A2sSplitAssembler::kMaxFragments &&
                      fragment.number < fragment.total;
    return sane ? std::optional(fragment) : std::nullopt;
}

std::optional<SplitLayout> layoutOf(const QList<QByteArray>& fragments) {
    for (const QByteArray& raw : fragments) {
        if (std::optional<SplitLayout> layout = layoutOfFirstFragment(raw)) {
            return layout;
        }
    }
    return std::nullopt;
}

enum class Assembly { Incomplete, Broken };

// The payloads in order once all are there; Broken when the fragments contradict each other.
std::variant<Assembly, QByteArray> assemble(const QList<QByteArray>& raws, SplitLayout layout) {
    QList<QByteArrayView> payloads;
    for (const QByteArray& raw : raws) {
        const std::optional<Fragment> fragment = readFragment(raw, layout);
        if (!fragment || (!payloads.isEmpty() && payloads.size() != fragment->total)) {
            return Assembly::Broken;
        }
        payloads.resize(fragment->total);
        if (payloads[fragment->number].isNull()) {  // a repeated fragment: the first one counts
            payloads[fragment->number] = fragment->payload;
        }
    }
    const bool complete = std::none_of(payloads.cbegin(), payloads.cend(),
                                       [](QByteArrayView p) { return p.isNull(); });
    if (!complete) {
        return Assembly::Incomplete;
    }
    QByteArray reply;
    for (QByteArrayView payload : payloads) {
        reply.append(payload);
    }
    return reply;
}

}  // namespace

QByteArray a2sInfoRequest(std::optional<quint32> challenge) {
    QByteArray request = kInfoRequest.toByteArray();
    if (challenge) {
        appendLittleEndian<quint32>(request, *challenge);
    }
    return request;
}

QByteArray a2sPlayerRequest(quint32 challenge) {
    QByteArray request = kPlayerRequest.toByteArray();
    appendLittleEndian<quint32>(request, challenge);
    return request;
}

A2sReply parseA2sReply(QByteArrayView reply) {
    ByteReader reader(reply);
    if (reader.readU32() != kSinglePacket) {
        return {};
    }
    switch (reader.readU8().value_or(0)) {
        case 'A':
            return parseChallenge(reader);
        case 'I':
            return parseSourceInfo(reader);
        case 'm':
            return parseGoldSrcInfo(reader);
        case 'D':
            return parsePlayers(reader);
        default:
            return {};
    }
}

bool isA2sSplitFragment(QByteArrayView datagram) {
    return ByteReader(datagram).readU32() == kSplitPacket;
}

std::optional<QByteArray> A2sSplitAssembler::add(QByteArrayView fragment) {
    ByteReader reader(fragment);
    const std::optional<quint32> id =
        reader.readU32() == kSplitPacket ? reader.readU32() : std::nullopt;
    if (!id) {
        return std::nullopt;
    }
    Pending& pending = pendingFor(*id);
    pending.fragments.append(fragment.toByteArray());
    pending.bytes += fragment.size();
    if (pending.fragments.size() > kMaxFragments || pending.bytes > kMaxReplyBytes) {
        drop(*id);
        return std::nullopt;
    }
    const std::optional<SplitLayout> layout = layoutOf(pending.fragments);
    if (!layout) {
        return std::nullopt;
    }
    if (*layout == SplitLayout::Source && (*id & kCompressedFlag)) {
        drop(*id);
        return std::nullopt;
    }
    std::variant<Assembly, QByteArray> result = assemble(pending.fragments, *layout);
    if (std::holds_alternative<Assembly>(result)) {
        if (std::get<Assembly>(result) == Assembly::Broken) {
            drop(*id);
        }
        return std::nullopt;
    }
    drop(*id);
    return std::get<QByteArray>(std::move(result));
}

A2sSplitAssembler::Pending& A2sSplitAssembler::pendingFor(quint32 id) {
    for (Pending& pending : pending_) {
        if (pending.id == id) {
            return pending;
        }
    }
    if (pending_.size() >= kMaxPendingReplies) {
        pending_.removeFirst();
    }
    pending_.append(Pending{id, {}, 0});
    return pending_.last();
}

void A2sSplitAssembler::drop(quint32 id) {
    pending_.removeIf([id](const Pending& pending) { return pending.id == id; });
}

}  // namespace tamarin
