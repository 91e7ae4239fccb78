#include "serverquery/gamespy1protocol.h"

#include <QMap>
#include <algorithm>
#include <limits>

#include "serverquery/servertext.h"

namespace tamarin {

namespace {

constexpr QByteArrayView kRequest("\\status\\");
// Player numbers beyond this are not players of any game of the family; their keys are ignored,
// which also bounds how many rows a reply can make.
constexpr int kMaxPlayerIndex = 999;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number the way the games write it: leading blanks (Unreal pads pings with one), an
// optional sign, digits; saturated to 32 bits. Anything else counts as 0.
qint32 readNumber(QByteArrayView text) {
    qsizetype at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
        ++at;
    }
    qint64 value = 0;
    constexpr qint64 kLimit = qint64(std::numeric_limits<qint32>::max()) + 1;
    for (; at < text.size() && isDigit(text[at]); ++at) {
        value = std::min(kLimit, value * 10 + (text[at] - '0'));
    }
    return qint32(std::clamp<qint64>(negative ? -value : value, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}

// Digits only, at most `maxDigits` of them.
std::optional<quint32> readDigits(QByteArrayView text, int maxDigits) {
    if (text.isEmpty() || text.size() > maxDigits ||
        !std::all_of(text.begin(), text.end(), isDigit)) {
        return std::nullopt;
    }
    quint32 value = 0;
    for (const char c : text) {
        value = value * 10 + quint32(c - '0');
    }
    return value;
}

// "N.M" of "\queryid\N.M".
struct QueryId {
    quint32 number = 0;
    quint32 index = 0;
};

std::optional<QueryId> readQueryId(QByteArrayView value) {
    const qsizetype dot = value.indexOf('.');
    if (dot < 0) {
        return std::nullopt;
    }
    const std::optional<quint32> number = readDigits(value.first(dot), 9);
    const std::optional<quint32> index = readDigits(value.sliced(dot + 1), 9);
    if (!number || !index) {
        return std::nullopt;
    }
    return QueryId{*number, *index};
}

// One player's record, gathered from keys like "player_3" wherever they stand.
struct PlayerRecord {
    std::optional<QByteArrayView> name;
    std::optional<QByteArrayView> score;
    std::optional<QByteArrayView> frags;
    std::optional<QByteArrayView> ping;
};

using RecordField = std::optional<QByteArrayView> PlayerRecord::*;

// "player_3" -> the name of player 3. Unreal and Medal of Honor name players "player_N" and count
// "frags_N"; Battlefield 1942 names them "playername_N" and has a "score_N" beside its "kills_N";
// Aliens versus Predator 2 has "score_N" only. All of them send "ping_N". Other keys: nullptr.
std::pair<RecordField, int> playerKey(QByteArrayView key) {
    const qsizetype underscore = key.lastIndexOf('_');
    const std::optional<quint32> index =
        underscore > 0 ? readDigits(key.sliced(underscore + 1), 3) : std::nullopt;
    if (!index || *index > kMaxPlayerIndex) {
        return {nullptr, 0};
    }
    const QByteArrayView kind = key.first(underscore);
    const auto is = [&](QByteArrayView name) {
        return kind.compare(name, Qt::CaseInsensitive) == 0;
    };
    const RecordField field = is("player") || is("playername") ? &PlayerRecord::name
                              : is("score")                    ? &PlayerRecord::score
                              : is("frags")                    ? &PlayerRecord::frags
                              : is("ping")                     ? &PlayerRecord::ping
                                                               : nullptr;
    return {field, int(*index)};
}

std::optional<QByteArrayView> value(const GameSpy1Fields& fields, QByteArrayView key) {
    for (const auto& [name, text] : fields) {
        if (QByteArrayView(name).compare(key, Qt::CaseInsensitive) == 0) {
            return QByteArrayView(text);
        }
    }
    return std::nullopt;
}

// Rows in the order of their numbers (Medal of Honor leaves gaps where players left). A game that
// reports scores or pings for anybody reports them for everybody, so a record without one is a
// record cut off by a datagram that never came.
void fillRows(const GameSpy1Fields& fields, ServerStatus& status) {
    QMap<int, PlayerRecord> players;
    bool anyScore = false;
    bool anyPing = false;
    for (const auto& [key, text] : fields) {
        const auto [field, index] = playerKey(key);
        if (!field) {
            continue;
        }
        // The first of two equal keys counts.
        if (std::optional<QByteArrayView>& slot = players[index].*field; !slot) {
            slot = text;
        }
        anyScore = anyScore || field == &PlayerRecord::score || field == &PlayerRecord::frags;
        anyPing = anyPing || field == &PlayerRecord::ping;
    }
    for (const PlayerRecord& record : std::as_const(players)) {
        const std::optional<QByteArrayView> score = record.score ? record.score : record.frags;
        if (!record.name || (anyScore && !score) || (anyPing && !record.ping)) {
            continue;
        }
        status.rows.append(PlayerRow{decodeServerText(*record.name), score ? readNumber(*score) : 0,
                                     record.ping ? std::max(readNumber(*record.ping), 0) : 0});
    }
    status.rowsHaveNumbers = players.isEmpty() || anyScore || anyPing;
}

}  // namespace

QByteArray gameSpy1StatusRequest() {
    return kRequest.toByteArray();
}

std::optional<GameSpy1Packet> parseGameSpy1Packet(QByteArrayView datagram) {
    if (!datagram.startsWith('\\') || datagram.size() > kGameSpy1MaxReplyBytes) {
        return std::nullopt;
    }
    GameSpy1Packet packet;
    // Pairs count from the first backslash, so "\final\\queryid\7.3" (Battlefield 1942) reads
    // final = "" before the query id, and a trailing "\final\" reads as a key without a value.
    QByteArrayView rest = datagram.sliced(1);
    while (!rest.isEmpty()) {
        const qsizetype keyEnd = rest.indexOf('\\');
        const QByteArrayView key = keyEnd < 0 ? rest : rest.first(keyEnd);
        rest = keyEnd < 0 ? QByteArrayView() : rest.sliced(keyEnd + 1);
        const qsizetype valueEnd = rest.indexOf('\\');
        const QByteArrayView text = valueEnd < 0 ? rest : rest.first(valueEnd);
        rest = valueEnd < 0 ? QByteArrayView() : rest.sliced(valueEnd + 1);
        if (key == "final") {
            packet.final = true;
        } else if (key == "queryid") {
            // Where a datagram carries more than one, the last labels it: servers append the label
            // as they send. An unreadable one leaves the datagram unnumbered.
            const std::optional<QueryId> id = readQueryId(text);
            packet.queryNumber = id ? std::optional<quint32>(id->number) : std::nullopt;
            packet.index = id ? int(std::min<quint32>(id->index, kGameSpy1MaxPackets + 1)) : 0;
        } else if (!key.isEmpty()) {
            packet.fields.append({key.toByteArray(), text.toByteArray()});
        }
    }
    if (packet.queryNumber && (packet.index < 1 || packet.index > kGameSpy1MaxPackets)) {
        return std::nullopt;
    }
    return packet;
}

std::optional<ServerStatus> gameSpy1Status(const GameSpy1Fields& fields) {
    const std::optional<QByteArrayView> hostName = value(fields, "hostname");
    if (!hostName) {
        return std::nullopt;
    }
    ServerStatus status;
    status.state = ServerStatus::State::Online;
    status.name = decodeServerText(*hostName);
    status.map = decodeServerText(value(fields, "mapname").value_or(QByteArrayView()));
    status.maxPlayers = std::max(readNumber(value(fields, "maxplayers").value_or("")), 0);
    fillRows(fields, status);
    const std::optional<QByteArrayView> numPlayers = value(fields, "numplayers");
    status.players = numPlayers ? std::max(readNumber(*numPlayers), 0) : int(status.rows.size());
    return status;
}

std::optional<GameSpy1Fields> GameSpy1Assembler::add(QByteArrayView datagram) {
    std::optional<GameSpy1Packet> packet = parseGameSpy1Packet(datagram);
    if (!packet) {
        return std::nullopt;
    }
    Pending* pending = pendingFor(packet->queryNumber);
    // An unnumbered datagram takes the next place in arrival order.
    const int index = packet->queryNumber ? packet->index : int(pending->packets.size()) + 1;
    const bool beyondFinal = pending->finalIndex > 0 && index > pending->finalIndex;
    if (pending->packets.contains(index) || beyondFinal || index > kGameSpy1MaxPackets ||
        pending->bytes + datagram.size() > kGameSpy1MaxReplyBytes) {
        return std::nullopt;
    }
    pending->packets.insert(index, std::move(packet->fields));
    pending->bytes += datagram.size();
    if (packet->final && pending->finalIndex == 0) {
        pending->finalIndex = index;
    }
    if (!complete(*pending)) {
        return std::nullopt;
    }
    GameSpy1Fields whole = joined(*pending);
    pending_.removeIf([&](const Pending& p) { return &p == pending; });
    return whole;
}

QList<GameSpy1Fields> GameSpy1Assembler::incompleteReplies() const {
    QList<const Pending*> order;
    for (const Pending& pending : pending_) {
        order.append(&pending);
    }
    std::stable_sort(order.begin(), order.end(), [](const Pending* a, const Pending* b) {
        return a->packets.size() > b->packets.size();
    });
    QList<GameSpy1Fields> replies;
    for (const Pending* pending : order) {
        replies.append(joined(*pending));
    }
    return replies;
}

GameSpy1Assembler::Pending* GameSpy1Assembler::pendingFor(
    const std::optional<quint32>& queryNumber) {
    for (Pending& pending : pending_) {
        if (pending.queryNumber == queryNumber) {
            return &pending;
        }
    }
    if (pending_.size() >= kMaxPendingReplies) {
        pending_.removeFirst();
    }
    pending_.append(Pending{queryNumber, {}, 0, 0});
    return &pending_.last();
}

GameSpy1Fields GameSpy1Assembler::joined(const Pending& pending) {
    GameSpy1Fields fields;
    for (auto it = pending.packets.cbegin(); it != pending.packets.cend(); ++it) {
        if (pending.finalIndex == 0 || it.key() <= pending.finalIndex) {
            fields.append(it.value());
        }
    }
    return fields;
}

bool GameSpy1Assembler::complete(const Pending& pending) {
    if (pending.finalIndex == 0) {
        return false;
    }
    for (int index = 1; index <= pending.finalIndex; ++index) {
        if (!pending.packets.contains(index)) {
            return false;
        }
    }
    return true;
}

namespace {

// One "\status\" request; the reply ends the query once whole. A reply without a host name says
// nothing to show, so the query goes on waiting (a resent request may fare better).
class GameSpy1Conversation : public QueryConversation {
  public:
    QByteArray firstRequest() override { return gameSpy1StatusRequest(); }

    ConversationStep onDatagram(QByteArrayView datagram) override {
        if (const std::optional<GameSpy1Fields> fields = assembler_.add(datagram)) {
            if (std::optional<ServerStatus> status = gameSpy1Status(*fields)) {
                return {{}, std::move(status)};
            }
        }
        return {};
    }

    // Servers do not always send "\final\", and datagrams get lost: whatever arrived with a host
    // name is shown, with the rows that arrived whole.
    ServerStatus onTimeout() const override {
        for (const GameSpy1Fields& fields : assembler_.incompleteReplies()) {
            if (std::optional<ServerStatus> status = gameSpy1Status(fields)) {
                return *status;
            }
        }
        return ServerStatus::withState(ServerStatus::State::NotAnswering);
    }

  private:
    GameSpy1Assembler assembler_;
};

}  // namespace

std::unique_ptr<QueryConversation> makeGameSpy1Conversation() {
    return std::make_unique<GameSpy1Conversation>();
}

}  // namespace tamarin
